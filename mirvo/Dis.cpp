#include "Commands.h"
#include "Output.h"
namespace mirvo::cli {
int RunDis(const DisOptions&) {
  Report("dis is not available yet");
  return 1;
}
}  // namespace mirvo::cli
