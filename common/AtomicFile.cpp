#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace mirvo {

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  file.reset();
  if (!temporary.empty()) {
    ::unlink(temporary.c_str());
    temporary.clear();
  }
}

int AtomicFile::Open(const char* targetPath) {
  Discard();
  failed = false;
  target = targetPath;
  // A symbolic link is written through, as fopen would: the new file
  // replaces the file the link names, and the link stays.
  struct stat link {};
  if (::lstat(targetPath, &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* const resolved = ::realpath(targetPath, nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  // The temporary name shares the target's folder, so the rename never
  // crosses file systems and is atomic.
  temporary = target;
  temporary.append(".tmpXXXXXX");
  const int descriptor = ::mkstemp(temporary.data());
  if (descriptor < 0) {
    temporary.clear();
    return 1;
  }
  // mkstemp creates the file 0600; give it the mode fopen would have left:
  // that of the file it replaces, or the default for a new file.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    ::fchmod(descriptor, existing.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(descriptor, static_cast<mode_t>(0666 & ~mask));
  }
  file.reset(::fdopen(descriptor, "wb"));
  if (!file) {
    ::close(descriptor);
    Discard();
    return 1;
  }
  return 0;
}

int AtomicFile::Write(const void* data, std::size_t size) {
  if (!file || failed) return 1;
  if (size != 0 && std::fwrite(data, 1, size, file.get()) != size) failed = true;
  return failed ? 1 : 0;
}

int AtomicFile::Commit() {
  if (!file || failed) {
    Discard();
    return 1;
  }
  const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
  const bool closed = std::fclose(file.release()) == 0;
  if (!flushed || !closed || std::rename(temporary.c_str(), target.c_str()) != 0) {
    Discard();
    return 1;
  }
  temporary.clear();
  return 0;
}

}  // namespace mirvo
