// Program images through the virtual machine and the driver's run loop,
// against a plain loop that calls Step one at a time. The first input byte
// chooses a mode: bit 0 tiles the image over all of memory, so that runs wrap
// past the top of memory; bit 1 raises the step budget past two passes, so
// that loop detection can act. Invariants: a run that the plain loop sees
// halt or freeze within the budget ends the same way after the same number
// of steps in the same state; otherwise the run loop either used the whole
// budget or reported a loop, and its state is the plain loop's after as many
// steps; a reported loop really comes back to the same state. The same run
// resumed in slices (sizes from bits 2-7 of the mode byte), with an observer
// on every other slice, ends with the same outcome, steps and state.

#include <algorithm>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "RunLoop.h"
#include "VirtualMachine.h"

namespace {

using mirvo::RunOutcome;
using mirvo::VirtualMachine;

RunOutcome PlainRun(VirtualMachine& machine, std::uint64_t limit, std::uint64_t& steps) {
  for (steps = 0; steps < limit;) {
    const std::uint16_t before = machine.GetProgramCounter();
    const mirvo::StepResult result = machine.Step();
    ++steps;
    if (result == mirvo::Halt) return RunOutcome::kHalted;
    if (machine.GetProgramCounter() == before) return RunOutcome::kUndefinedOpcode;
  }
  return RunOutcome::kStepLimit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  if (size > mirvo::kMemorySize) size = mirvo::kMemorySize;
  auto machine = std::make_unique<VirtualMachine>();
  const std::size_t fill = (mode & 1) != 0 ? mirvo::kMemorySize : size;
  for (std::size_t a = 0; a < fill; a += size) {
    std::memcpy(&machine->MemoryAt(static_cast<std::uint16_t>(a)), data, std::min(size, fill - a));
  }
  // Two passes of one-byte instructions: enough for a loop to be found.
  const std::uint64_t budget = (mode & 2) != 0 ? 2 * 65536 + 16 : 20000;

  auto sliced = std::make_unique<VirtualMachine>(*machine);
  auto plain = std::make_unique<VirtualMachine>(*machine);
  auto replay = std::make_unique<VirtualMachine>(*machine);
  std::uint64_t steps = 0;
  std::uint64_t plainSteps = 0;
  const RunOutcome outcome = mirvo::RunToEnd(*machine, budget, &steps);
  const RunOutcome plainOutcome = PlainRun(*plain, budget, plainSteps);

  mirvo::Run run(*sliced, budget);
  const std::uint64_t slice = 1 + (std::uint64_t{mode} >> 2) * 997;
  std::uint64_t observed = 0;
  const mirvo::StepObserver count = [](void* context, const mirvo::StepRecord& record) {
    auto& seen = *static_cast<std::uint64_t*>(context);
    FUZZ_CHECK(record.step == ++seen);
  };
  RunOutcome slicedOutcome = RunOutcome::kRunning;
  for (unsigned call = 0; slicedOutcome == RunOutcome::kRunning; ++call) {
    const bool watched = call % 2 == 1;
    observed = run.Steps();
    slicedOutcome = run.Resume(slice, watched ? count : nullptr, &observed);
  }
  FUZZ_CHECK(slicedOutcome == outcome);
  FUZZ_CHECK(run.Steps() == steps);
  FUZZ_CHECK(*sliced == *machine);
  if (plainOutcome != RunOutcome::kStepLimit) {
    FUZZ_CHECK(outcome == plainOutcome);
    FUZZ_CHECK(steps == plainSteps);
    FUZZ_CHECK(*machine == *plain);
    return 0;
  }
  if (outcome == RunOutcome::kStepLimit) {
    FUZZ_CHECK(steps == budget);
    FUZZ_CHECK(*machine == *plain);
    return 0;
  }
  FUZZ_CHECK(outcome == RunOutcome::kLoopsForever);
  FUZZ_CHECK(steps <= budget);
  std::uint64_t replayed = 0;
  FUZZ_CHECK(PlainRun(*replay, steps, replayed) == RunOutcome::kStepLimit);
  FUZZ_CHECK(*machine == *replay);
  // The claim holds: stepping on, the machine comes back to this very state
  // at a wrap, without a halt or a frozen step on the way.
  bool cameBack = false;
  for (std::uint64_t more = 0; more < budget && !cameBack; ++more) {
    const std::uint16_t before = replay->GetProgramCounter();
    FUZZ_CHECK(replay->Step() != mirvo::Halt);
    const std::uint16_t after = replay->GetProgramCounter();
    FUZZ_CHECK(after != before);
    cameBack = after < before && *replay == *machine;
  }
  FUZZ_CHECK(cameBack);
  return 0;
}
