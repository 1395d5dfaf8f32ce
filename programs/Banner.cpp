#include "Banner.h"

#include <cstdio>

namespace mirvo {

void PrintBanner(const char* dashes, const char* titleFormat) {
  std::printf("%s", dashes);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::printf(titleFormat, kVersion);
#pragma GCC diagnostic pop
  std::printf("%s", dashes);
  std::printf("September 2003\n\n");
}

}  // namespace mirvo
