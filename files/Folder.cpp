#include "Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace mirvo {

namespace {

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

// The names in the folder open as descriptor, without "." and "..", sorted.
// 0, or the errno of the failure.
int ReadNames(int descriptor, std::vector<std::string>& names) {
  // fdopendir takes the descriptor it is given; the caller keeps its own.
  const int copy = ::openat(descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return errno;
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::fdopendir(copy), &::closedir);
  if (!folder) {
    const int error = errno;
    ::close(copy);
    return error;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  if (errno != 0) return errno;
  // std::string compares as unsigned bytes, so any name sorts the same way.
  std::sort(names.begin(), names.end());
  return 0;
}

// Lists the entries below the folder open as descriptor into entries. 0, or
// the errno when the folder's own names cannot be read.
int WalkBelow(int descriptor, const std::string& prefix, unsigned depth, std::vector<FolderEntry>& entries) {
  std::vector<std::string> names;
  if (const int error = ReadNames(descriptor, names); error != 0) return error;
  for (const std::string& name : names) {
    FolderEntry entry;
    entry.path = prefix + name;
    entry.depth = depth;
    struct stat info {};
    if (::fstatat(descriptor, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      // Gone since it was listed: a row still names it, and reading it says why.
      entries.push_back(std::move(entry));
      continue;
    }
    entry.kind = KindOf(info.st_mode);
    entry.id = {info.st_dev, info.st_ino};
    entry.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    const std::size_t index = entries.size();
    entries.push_back(std::move(entry));
    if (entries[index].kind != EntryKind::kFolder || name[0] == '.') continue;
    if (depth >= kDeepestFolder) {
      entries[index].problem = "more than " + std::to_string(kDeepestFolder) + " folders deep";
      continue;
    }
    const int below = ::openat(descriptor, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = below < 0 ? errno : WalkBelow(below, entries[index].path + "/", depth + 1, entries);
    if (below >= 0) ::close(below);
    if (error != 0) entries[index].problem = std::strerror(error);
  }
  return 0;
}

}  // namespace

FileId IdentityOf(int folder, const std::string& name, bool follow) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return {};
  return {info.st_dev, info.st_ino};
}

bool IsFolder(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

OpenFolder::~OpenFolder() {
  if (descriptor >= 0) ::close(descriptor);
}

int OpenFolder::Open(const char* path, std::string& reason) {
  if (descriptor >= 0) ::close(descriptor);
  descriptor = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor >= 0) return 0;
  reason = std::strerror(errno);
  return 1;
}

int OpenFolder::Walk(std::vector<FolderEntry>& entries, std::string& reason) const {
  entries.clear();
  if (const int error = WalkBelow(descriptor, "", 1, entries); error != 0) {
    reason = std::strerror(error);
    return 1;
  }
  return 0;
}

}  // namespace mirvo
