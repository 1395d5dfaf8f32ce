// Program images through the virtual machine and the driver's run loop,
// against the step-by-step yardstick (reference/StepByStep.h). The first
// input byte chooses a mode: bit 0 tiles the image over all of memory, so
// that runs wrap past the top of memory; bit 1 raises the step budget past
// two passes, so that loop detection can act. Invariants: the run loop ends
// as Step calls allow (reference::CheckRun): a halt or a frozen step at the
// same step, a reported loop only where the state has come round again, a
// stopped run after the whole budget, and the same machine in the end. The
// same run resumed in slices (sizes from bits 2-7 of the mode byte), with an
// observer on every other slice, ends with the same outcome, steps and state.

#include <algorithm>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "RunLoop.h"
#include "StepByStep.h"
#include "VirtualMachine.h"

using mirvo::RunOutcome;
using mirvo::VirtualMachine;

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

  const auto start = std::make_unique<VirtualMachine>(*machine);
  auto sliced = std::make_unique<VirtualMachine>(*machine);
  std::uint64_t steps = 0;
  const RunOutcome outcome = mirvo::RunToEnd(*machine, budget, &steps);
  FUZZ_CHECK(mirvo::reference::CheckRun(*start, budget, outcome, steps, *machine) == nullptr);

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
  return 0;
}
