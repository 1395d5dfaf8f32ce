#include "FileSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace mirvo {

FilePtr OpenWithoutWaiting(const char* path) {
  const int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  FilePtr file(::fdopen(descriptor, "rb"));
  if (!file) {
    const int error = errno;
    ::close(descriptor);
    errno = error;
  }
  return file;
}

FileSource::FileSource(const char* path) : file(std::fopen(path, "r")) {}

std::size_t FileSource::Read(void* context, char* buffer, std::size_t size, bool* error) {
  auto* const source = static_cast<FileSource*>(context);
  if (!source->file) {
    *error = true;
    return 0;
  }
  const std::size_t got = std::fread(buffer, 1, size, source->file.get());
  if (std::ferror(source->file.get())) *error = true;
  return got;
}

}  // namespace mirvo
