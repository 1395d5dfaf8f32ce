#include "RunLoop.h"

#include <algorithm>
#include <memory>

namespace mirvo {

namespace {

// Brent's cycle detection over the sequence of states at the wraps, starting
// from the state the run began in.
class WrapCycleDetector {
 public:
  explicit WrapCycleDetector(const VirtualMachine& start) : saved(std::make_unique<VirtualMachine>(start)) {}

  // Called with the state just after each wrap; true once a state repeats.
  bool Repeats(const VirtualMachine& current) {
    if (*saved == current) return true;
    if (power == distance) {
      *saved = current;
      power *= 2;
      distance = 0;
    }
    ++distance;
    return false;
  }

 private:
  std::unique_ptr<VirtualMachine> saved;
  std::uint64_t power = 1;
  std::uint64_t distance = 1;
};

}  // namespace

RunOutcome RunToEnd(VirtualMachine& machine, std::uint64_t stepLimit, std::uint64_t* stepsTaken) {
  std::uint64_t steps = 0;
  RunOutcome outcome = RunOutcome::kStepLimit;
  // The starting state counts as the first state of the sequence.
  WrapCycleDetector detector(machine);
  while (steps < stepLimit) {
    const std::uint64_t room = std::min<std::uint64_t>(stepLimit - steps, UINT32_MAX);
    steps += machine.RunWithoutWrap(static_cast<std::uint32_t>(room));
    if (steps >= stepLimit) break;
    const std::uint16_t before = machine.GetProgramCounter();
    const StepResult result = machine.Step();
    ++steps;
    if (result == Halt) {
      outcome = RunOutcome::kHalted;
      break;
    }
    const std::uint16_t after = machine.GetProgramCounter();
    if (after == before) {
      outcome = RunOutcome::kUndefinedOpcode;
      break;
    }
    if (after < before && detector.Repeats(machine)) {
      outcome = RunOutcome::kLoopsForever;
      break;
    }
  }
  if (stepsTaken != nullptr) *stepsTaken = steps;
  return outcome;
}

}  // namespace mirvo
