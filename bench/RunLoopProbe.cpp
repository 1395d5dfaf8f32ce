// Runs a fixed number of steps of a non-halting program once, so that
// `valgrind --tool=callgrind` can count instructions per step:
//   RunLoopProbe [steps]   (default 10000000)
// The program fills memory with register MOVs and ADDs; B starts at 1 so A
// counts, and the states at the wraps repeat only after 256 passes.

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "RunLoop.h"

int main(int argc, char** argv) {
  const unsigned long long steps = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000ULL;
  auto machine = std::make_unique<mirvo::VirtualMachine>();
  const std::uint8_t pattern[] = {0x80, 0x48, 0x51, 0x80, 0x5A, 0x63, 0x80, 0x41};
  for (unsigned a = 0; a < mirvo::kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), pattern[a % sizeof(pattern)]);
  }
  // One ADD fewer makes the count per pass odd, so A takes 256 passes to repeat.
  machine->WriteMemory(0, 0x40);
  machine->SetRegister(mirvo::kRegB, 1);
  std::uint64_t taken = 0;
  const mirvo::RunOutcome outcome = mirvo::RunToEnd(*machine, steps, &taken);
  std::printf("steps %llu outcome %d\n", static_cast<unsigned long long>(taken), static_cast<int>(outcome));
  return 0;
}
