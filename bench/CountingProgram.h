#pragma once
// The program both run-loop benchmarks time: memory filled with register
// MOVs and ADDs, none of which halts, freezes or writes memory. B starts at 1
// and each ADD adds it to A; address 0 holds a MOV B, B instead of an ADD, so
// a pass adds an odd count to A and the states at the wraps repeat only after
// 256 passes (16,777,216 steps): a run of fewer steps never ends by itself.

#include <cstdint>
#include <memory>

#include "VirtualMachine.h"

namespace mirvo::bench {

inline std::unique_ptr<VirtualMachine> CountingProgram() {
  auto machine = std::make_unique<VirtualMachine>();
  const std::uint8_t pattern[] = {0x80, 0x48, 0x51, 0x80, 0x5A, 0x63, 0x80, 0x41};
  for (unsigned a = 0; a < kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), pattern[a % sizeof(pattern)]);
  }
  machine->WriteMemory(0, 0x40);
  machine->SetRegister(kRegB, 1);
  return machine;
}

}  // namespace mirvo::bench
