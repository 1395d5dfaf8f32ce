#include "SubmissionFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mirvo {

namespace {

// A descriptor closed when it goes; AT_FDCWD and -1 are never closed.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(-1); }
  void Reset(int next) {
    if (fd >= 0) ::close(fd);
    fd = next;
  }
  int Get() const { return fd; }

 private:
  int fd;
};

const char* NodeOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  return "no regular file";
}

ReadResult Failed(ReadStatus status, int error) { return {status, error, ""}; }
ReadResult NotAFile(mode_t mode) { return {ReadStatus::kNotAFile, 0, NodeOf(mode)}; }

// Reads what the open regular file holds, up to limit bytes.
ReadResult ReadAll(int fd, std::size_t limit, std::string& bytes) {
  // One byte past the limit tells that the file is too long.
  char block[65536];
  while (bytes.size() <= limit) {
    const std::size_t want = std::min(sizeof(block), limit + 1 - bytes.size());
    const ssize_t got = ::read(fd, block, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      bytes.clear();
      return Failed(ReadStatus::kCannotRead, error);
    }
    if (got == 0) return {};
    bytes.append(block, static_cast<std::size_t>(got));
  }
  bytes.clear();
  return Failed(ReadStatus::kTooLarge, 0);
}

}  // namespace

ReadResult ReadSubmission(int folder, const std::string& name, NameFrom from, std::size_t limit, std::string& bytes) {
  bytes.clear();
  const bool inFolder = from != NameFrom::kCommandLine;
  // A folder's entry is reached through real folders only: a folder on the
  // way swapped for a link since the walk is a link, not followed.
  Descriptor parent(-1);
  int at = folder;
  std::string last = name;
  if (inFolder) {
    for (std::size_t slash = last.find('/'); slash != std::string::npos; slash = last.find('/')) {
      const int next = ::openat(at, last.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        const int error = errno;
        return Failed(error == ELOOP ? ReadStatus::kSymbolicLink : ReadStatus::kCannotOpen, error);
      }
      parent.Reset(next);
      at = next;
      last.erase(0, slash + 1);
    }
  }
  const bool noFollow = from == NameFrom::kFolder;
  // Looked at before it is opened, so that opening has no effect on a device
  // or FIFO; the descriptor's fstat below is what decides.
  struct stat info {};
  if (::fstatat(at, last.c_str(), &info, noFollow ? AT_SYMLINK_NOFOLLOW : 0) != 0) {
    return Failed(ReadStatus::kCannotOpen, errno);
  }
  if (S_ISLNK(info.st_mode)) return Failed(ReadStatus::kSymbolicLink, 0);
  if (!S_ISREG(info.st_mode)) return NotAFile(info.st_mode);
  const Descriptor file(
      ::openat(at, last.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0)));
  if (file.Get() < 0) {
    const int error = errno;
    if (noFollow && error == ELOOP) return Failed(ReadStatus::kSymbolicLink, 0);
    // Replaced by a socket since it was looked at.
    if (error == ENXIO && ::fstatat(at, last.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return NotAFile(info.st_mode);
    return Failed(ReadStatus::kCannotOpen, error);
  }
  if (::fstat(file.Get(), &info) != 0) return Failed(ReadStatus::kCannotRead, errno);
  if (!S_ISREG(info.st_mode)) return NotAFile(info.st_mode);
  if (static_cast<std::size_t>(info.st_size) > limit) return Failed(ReadStatus::kTooLarge, 0);
  return ReadAll(file.Get(), limit, bytes);
}

std::string DescribeRead(const ReadResult& result, const std::string& path, std::size_t limit) {
  switch (result.status) {
    case ReadStatus::kRead:
      break;
    case ReadStatus::kCannotOpen:
      return "cannot open " + path + ": " + std::strerror(result.error != 0 ? result.error : EIO);
    case ReadStatus::kSymbolicLink:
      return "a symbolic link, not followed";
    case ReadStatus::kNotAFile:
      return std::string(result.node) + ", not a file";
    case ReadStatus::kTooLarge:
      return path + " is larger than " + std::to_string(limit >> 20) + " MiB, longer than any program";
    case ReadStatus::kCannotRead:
      return "cannot read " + path + ": " + std::strerror(result.error != 0 ? result.error : EIO);
  }
  return "";
}

}  // namespace mirvo
