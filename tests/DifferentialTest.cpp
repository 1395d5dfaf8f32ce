// Runs random programs on VirtualMachine and on the z80ex emulation library,
// whose Z80 gives these opcodes the same meaning, and compares the results.

#include <gtest/gtest.h>
#include <z80ex/z80ex.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "InstructionSet.h"
#include "VirtualMachine.h"

namespace mirvo {
namespace {

using Memory64K = std::array<std::uint8_t, kMemorySize>;

Z80EX_BYTE ReadMemory(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* data) {
  return (*static_cast<Memory64K*>(data))[address];
}
void WriteMemoryCallback(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* data) {
  (*static_cast<Memory64K*>(data))[address] = value;
}
Z80EX_BYTE ReadPort(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
void WritePort(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
Z80EX_BYTE ReadInterruptVector(Z80EX_CONTEXT*, void*) { return 0xFF; }

struct Z80Deleter {
  void operator()(Z80EX_CONTEXT* cpu) const { z80ex_destroy(cpu); }
};

// A random program at address 0 that ends in RET. H is set first to 80h or
// above and only ever reloaded with such values, so writes through M land in
// the data half of memory and never change the code; 0x76 (HALT on a Z80) is
// left out.
std::vector<std::uint8_t> RandomProgram(std::mt19937& random) {
  const auto next = [&random] { return static_cast<unsigned>(random()); };
  std::vector<std::uint8_t> code{MviOpcode(kRegH), static_cast<std::uint8_t>(0x80 | next())};
  const unsigned count = 1 + next() % 120;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned d = next() % 8;
    const unsigned s = next() % 8;
    switch (next() % 4) {
      case 0:
        if (d == kRegH || (d == kRegM && s == kRegM)) continue;
        code.push_back(MovOpcode(d, s));
        break;
      case 1: {
        auto value = static_cast<std::uint8_t>(next());
        if (d == kRegH) value |= 0x80;
        code.push_back(MviOpcode(d));
        code.push_back(value);
        break;
      }
      case 2:
        code.push_back(AddOpcode(s));
        break;
      default:
        code.push_back(CmpOpcode(s));
        break;
    }
  }
  code.push_back(RetOpcode());
  return code;
}

TEST(DifferentialTest, RandomProgramsMatchZ80ex) {
  std::mt19937 random(8080);
  auto z80Memory = std::make_unique<Memory64K>();
  auto machine = std::make_unique<VirtualMachine>();
  const std::unique_ptr<Z80EX_CONTEXT, Z80Deleter> cpu(z80ex_create(ReadMemory, z80Memory.get(), WriteMemoryCallback,
                                                                    z80Memory.get(), ReadPort, nullptr, WritePort,
                                                                    nullptr, ReadInterruptVector, nullptr));
  ASSERT_NE(cpu, nullptr);
  // Random data in the upper half, for the programs to read through M.
  std::vector<std::uint8_t> data(0x8000);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(random());
  int compared = 0;
  int flagsCompared = 0;
  for (int program = 0; program < 10000; ++program) {
    const std::vector<std::uint8_t> code = RandomProgram(random);
    *machine = VirtualMachine();
    z80Memory->fill(0);
    std::memcpy(&machine->MemoryAt(0x8000), data.data(), data.size());
    std::memcpy(z80Memory->data() + 0x8000, data.data(), data.size());
    for (std::size_t i = 0; i < code.size(); ++i) {
      machine->WriteMemory(static_cast<std::uint16_t>(i), code[i]);
      (*z80Memory)[i] = code[i];
    }
    z80ex_reset(cpu.get());
    for (const Z80_REG_T pair : {regAF, regBC, regDE, regHL, regPC}) z80ex_set_reg(cpu.get(), pair, 0);
    z80ex_set_reg(cpu.get(), regSP, 0xFFFF);

    // The reduced flag model writes Z and CY only in ADD M and CMP; a Z80
    // also writes them in ADD r. Compare them only where both last wrote them
    // in the same instruction.
    bool flagsComparable = false;
    for (int steps = 0; machine->MemoryAt(machine->GetProgramCounter()) != RetOpcode() && steps < 1000; ++steps) {
      const Instruction in = kDecodeTable[machine->MemoryAt(machine->GetProgramCounter())];
      if (in.operation == Operation::kAdd) flagsComparable = in.source == kRegM;
      if (in.operation == Operation::kCmp) flagsComparable = true;
      machine->Step();
    }
    for (int steps = 0; (*z80Memory)[z80ex_get_reg(cpu.get(), regPC)] != RetOpcode() && steps < 1000; ++steps) {
      z80ex_step(cpu.get());
    }

    SCOPED_TRACE(program);
    const RegisterFile& r = machine->GetRegisters();
    const auto pair = [&](Z80_REG_T reg) { return static_cast<unsigned>(z80ex_get_reg(cpu.get(), reg)); };
    ASSERT_EQ(r[kRegA], pair(regAF) >> 8);
    ASSERT_EQ(r[kRegB] << 8 | r[kRegC], pair(regBC));
    ASSERT_EQ(r[kRegD] << 8 | r[kRegE], pair(regDE));
    ASSERT_EQ(HlAddress(r[kRegH], r[kRegL]), pair(regHL));
    ASSERT_EQ(machine->GetProgramCounter(), pair(regPC));
    ASSERT_EQ(machine->GetProgramCounter(), code.size() - 1);
    if (std::memcmp(&machine->MemoryAt(0), z80Memory->data(), kMemorySize) != 0) {
      for (unsigned a = 0; a < kMemorySize; ++a) {
        ASSERT_EQ(machine->MemoryAt(static_cast<std::uint16_t>(a)), (*z80Memory)[a]) << "address " << a;
      }
    }
    if (flagsComparable) {
      const unsigned f = pair(regAF) & 0xFF;
      ASSERT_EQ(machine->GetFlags()[kFlagZero], (f >> 6) & 1);
      ASSERT_EQ(machine->GetFlags()[kFlagCarry], f & 1);
      ++flagsCompared;
    }
    ++compared;
  }
  EXPECT_EQ(compared, 10000);
  EXPECT_GT(flagsCompared, 5000);
  std::printf("compared %d programs, flags in %d of them\n", compared, flagsCompared);
}

}  // namespace
}  // namespace mirvo
