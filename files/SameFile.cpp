#include "SameFile.h"

#include <sys/stat.h>

namespace mirvo {

bool IsSameFile(const char* first, const char* second) {
  struct stat a {};
  struct stat b {};
  return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace mirvo
