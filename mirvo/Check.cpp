#include "Commands.h"
#include "Output.h"
namespace mirvo::cli {
int RunCheck(const CheckOptions&) {
  Report("check is not available yet");
  return 1;
}
}  // namespace mirvo::cli
