#include "CommandFiles.h"

#include <sys/stat.h>

namespace mirvo {

namespace {

bool SameNode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True when path, or a folder on the way to it as it is spelled, is the
// symbolic link at link: writing path would write where the link's author chose.
bool ThroughLink(const char* link, const std::string& path) {
  struct stat own {};
  if (::lstat(link, &own) != 0 || !S_ISLNK(own.st_mode)) return false;
  for (std::size_t end = path.size(); end != std::string::npos && end > 0; end = path.rfind('/', end - 1)) {
    struct stat step {};
    if (::lstat(path.substr(0, end).c_str(), &step) == 0 && SameNode(step, own)) return true;
  }
  return false;
}

}  // namespace

bool IsSameFile(const char* first, const char* second) {
  struct stat a {};
  struct stat b {};
  return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && SameNode(a, b);
}

const std::string* CommandFiles::InputNamedBy(const char* path) const {
  for (const Input& input : inputs) {
    if (IsSameFile(input.path.c_str(), path) || (input.found && ThroughLink(input.path.c_str(), path))) {
      return &input.path;
    }
  }
  return nullptr;
}

std::optional<CommandFiles::Clash> CommandFiles::FindClash() const {
  for (const auto& [role, output] : outputs) {
    if (const std::string* const input = InputNamedBy(output.c_str())) return Clash{role, output, *input};
  }
  return std::nullopt;
}

}  // namespace mirvo
