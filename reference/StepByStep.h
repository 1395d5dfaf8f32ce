#pragma once
// The yardstick for the run loop: a run made of nothing but Step calls, with
// the driver's rules written out the plainest way. The tests, the fuzz
// targets and the benchmarks measure the run loop against it.

#include <cstdint>

#include "RunLoop.h"
#include "VirtualMachine.h"

namespace mirvo::reference {

struct StepRun {
  RunOutcome outcome = RunOutcome::kStepLimit;
  std::uint64_t steps = 0;  // Step calls made
  // For kLoopsForever: the step count at which the machine was last in the
  // state it is in now (0 for the starting state).
  std::uint64_t repeatOf = 0;
};

// Steps machine at most limit times. It stops at a RET (kHalted), at a step
// that leaves the program counter where it was (kUndefinedOpcode), or just
// after a wrap of the program counter past 0xFFFF whose state equals the
// starting state or the state after an earlier wrap (kLoopsForever: the
// first repeat there is). Every wrap state is kept as a whole copy, so a run
// should have a few hundred wraps at most.
StepRun RunByStep(VirtualMachine& machine, std::uint64_t limit);

// Checks what a run loop reported against Step calls: start is the machine
// before the run, ended the machine after it, outcome and steps what the run
// loop said, limit the step limit it was given. A halt or a frozen step must
// come at the same step; a reported loop must lie at or after the first
// repeat, at a step where the state is again the repeated one; a run stopped
// by the limit must have taken limit steps; and ended must be the machine
// after as many Step calls. Returns nullptr when all of that holds, else the
// first rule broken.
const char* CheckRun(const VirtualMachine& start, std::uint64_t limit, RunOutcome outcome, std::uint64_t steps,
                     const VirtualMachine& ended);

}  // namespace mirvo::reference
