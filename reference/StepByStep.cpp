#include "StepByStep.h"

#include <memory>
#include <vector>

namespace mirvo::reference {
namespace {

struct WrapState {
  std::uint64_t steps;
  std::unique_ptr<VirtualMachine> machine;
};

void StepTimes(VirtualMachine& machine, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) machine.Step();
}

}  // namespace

StepRun RunByStep(VirtualMachine& machine, std::uint64_t limit) {
  std::vector<WrapState> seen;
  seen.push_back({0, std::make_unique<VirtualMachine>(machine)});
  StepRun run;
  while (run.steps < limit) {
    const std::uint16_t before = machine.GetProgramCounter();
    const StepResult result = machine.Step();
    ++run.steps;
    if (result == Halt) {
      run.outcome = RunOutcome::kHalted;
      return run;
    }
    const std::uint16_t after = machine.GetProgramCounter();
    if (after == before) {
      run.outcome = RunOutcome::kUndefinedOpcode;
      return run;
    }
    if (after > before) continue;
    for (const WrapState& earlier : seen) {
      if (*earlier.machine == machine) {
        run.outcome = RunOutcome::kLoopsForever;
        run.repeatOf = earlier.steps;
        return run;
      }
    }
    seen.push_back({run.steps, std::make_unique<VirtualMachine>(machine)});
  }
  return run;
}

const char* CheckRun(const VirtualMachine& start, std::uint64_t limit, RunOutcome outcome, std::uint64_t steps,
                     const VirtualMachine& ended) {
  auto machine = std::make_unique<VirtualMachine>(start);
  const StepRun reference = RunByStep(*machine, limit);
  if (reference.outcome != RunOutcome::kLoopsForever) {
    if (outcome != reference.outcome) return "the run ended otherwise than its Step calls";
    if (steps != reference.steps) return "the run ended after another number of steps than its Step calls";
  } else {
    // From the first repeat on, the machine goes round one period after another.
    const std::uint64_t period = reference.steps - reference.repeatOf;
    if (outcome != RunOutcome::kLoopsForever && outcome != RunOutcome::kStepLimit) {
      return "the run halted or froze where its Step calls go round for ever";
    }
    if (steps > limit) return "the run went past its step limit";
    if (outcome == RunOutcome::kStepLimit && steps != limit) return "the run stopped short of its step limit";
    if (outcome == RunOutcome::kLoopsForever && steps < reference.steps)
      return "the loop was reported before it closed";
    if (outcome == RunOutcome::kLoopsForever && (steps - reference.repeatOf) % period != 0) {
      return "the loop was reported where the state is not the repeated one";
    }
    StepTimes(*machine, (steps - reference.steps) % period);
  }
  if (!(ended == *machine)) return "the machine differs from the one its Step calls leave";
  return nullptr;
}

}  // namespace mirvo::reference
