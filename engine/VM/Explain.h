#pragma once
// One step in a learner's words: what the instruction did with the values it
// found, and why each flag it writes got its value, e.g.
//   "CMP B: A (50h) is below B (60h), so CY = 1 and Z = 0"

#include <string>

#include "RunLoop.h"

namespace mirvo {

std::string ExplainStep(const StepRecord& record);

}  // namespace mirvo
