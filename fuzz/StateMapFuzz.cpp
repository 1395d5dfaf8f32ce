// Machine states through the state map formatter. The input fills the
// registers, flag bytes, program counter, stack pointer and memory (tiled)
// and names the image path. Invariants: the report always has 65565 lines,
// and parsing it back gives the same registers, flags, program counter,
// stack pointer and memory.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "StateMap.h"
#include "StateMapCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo;
  if (size < 21) return 0;
  auto machine = std::make_unique<VirtualMachine>();
  for (std::uint8_t code = 0; code < 8; ++code) machine->SetRegister(code, data[code]);
  // Flag bytes are 0 or 1, and only Step writes them: reach them by running
  // an ADD M or CMP built from the input.
  machine->WriteMemory(0, static_cast<std::uint8_t>((data[8] & 1) != 0 ? 0x86 : 0xB8 | (data[8] >> 1 & 7)));
  machine->Step();
  machine->SetProgramCounter(static_cast<std::uint16_t>(data[9] << 8 | data[10]));
  machine->SetStackPointer(static_cast<std::uint16_t>(data[11] << 8 | data[12]));
  // The path: up to 8 bytes of the input, without line breaks or NULs.
  std::string path;
  for (std::size_t i = 13; i < 21; ++i) {
    if (data[i] != '\n' && data[i] != '\0') path.push_back(static_cast<char>(data[i]));
  }
  const std::uint8_t* memory = data + 21;
  const std::size_t memorySize = size - 21;
  for (std::size_t a = 0; a < kMemorySize && memorySize > 0; a += memorySize) {
    std::memcpy(&machine->MemoryAt(static_cast<std::uint16_t>(a)), memory, std::min(memorySize, kMemorySize - a));
  }

  const std::string text = StateMapText(*machine, path.c_str());
  VerifyStateMap(*machine, path, text);
  return 0;
}
