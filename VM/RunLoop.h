#pragma once

#include <cstdint>

#include "VirtualMachine.h"

namespace mirvo {

enum class RunOutcome {
  kHalted,           // a RET found the stack empty
  kUndefinedOpcode,  // a step left the program counter where it was: frozen for ever
  kLoopsForever,     // the machine came back to a state it had at an earlier wrap
  kStepLimit,        // stepLimit steps without any of the above
};

// The driver's backstop: a run that neither halts nor is proved endless
// within this many steps is stopped.
inline constexpr std::uint64_t kStepLimit = std::uint64_t{1} << 30;

// Steps the machine from its current state until one of the outcomes above.
// The observable result is that of calling Step one at a time; long stretches
// run in RunWithoutWrap. Without jumps the program counter only moves forward,
// so the state at each wrap past 0xFFFF determines the next one: the states
// at the wraps are searched for a repeat with Brent's cycle detection, which
// compares whole machines and so never reports a loop that is not there.
// stepsTaken, when given, receives the number of steps executed.
RunOutcome RunToEnd(VirtualMachine& machine, std::uint64_t stepLimit, std::uint64_t* stepsTaken = nullptr);

}  // namespace mirvo
