#include "CommandFiles.h"

#include <sys/stat.h>

namespace mirvo {

bool IsSameFile(const char* first, const char* second) {
  struct stat a {};
  struct stat b {};
  return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

const std::string* CommandFiles::InputNamedBy(const char* path) const {
  for (const std::string& input : inputs) {
    if (IsSameFile(input.c_str(), path)) return &input;
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
