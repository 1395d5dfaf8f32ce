#include "Folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace mirvo {

bool IsFolder(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

int ListFiles(const char* path, std::vector<std::string>& names, std::string& reason) {
  names.clear();
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path), &::closedir);
  if (!folder) {
    reason = std::strerror(errno);
    return 1;
  }
  const std::string prefix = std::string(path) + "/";
  errno = 0;
  while (const dirent* entry = ::readdir(folder.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat info {};
    if (::stat((prefix + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.emplace_back(entry->d_name);
    errno = 0;
  }
  if (errno != 0) {
    reason = std::strerror(errno);
    return 1;
  }
  std::sort(names.begin(), names.end());
  return 0;
}

}  // namespace mirvo
