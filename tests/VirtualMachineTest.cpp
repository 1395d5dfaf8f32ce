#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ProgramImage.h"
#include "VirtualMachine.h"

namespace mirvo {
namespace {

std::unique_ptr<VirtualMachine> MachineWith(const std::vector<std::uint8_t>& image, std::uint16_t at = 0) {
  auto machine = std::make_unique<VirtualMachine>();
  for (std::size_t i = 0; i < image.size(); ++i) {
    machine->WriteMemory(static_cast<std::uint16_t>(at + i), image[i]);
  }
  machine->SetProgramCounter(at);
  return machine;
}

// Steps until Halt, one Step at a time, as the plainest driver would.
void StepToHalt(VirtualMachine& machine) {
  for (int i = 0; i < 10000 && machine.Step() != Halt; ++i) {
  }
}

struct ProgramCase {
  const char* name;
  std::vector<std::uint8_t> image;
  RegisterFile registers;  // B C D E H L (slot 6) A
  std::uint8_t zero;
  std::uint8_t carry;
  std::uint16_t programCounter;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> memory;
};

TEST(VirtualMachineTest, ProgramsLeaveTheExpectedState) {
  const ProgramCase cases[] = {
      {"ret at 0", {0xC9}, {}, 0, 0, 0, {}},
      {"register add sets no flag", {0x3E, 0xF0, 0x06, 0x20, 0x80, 0xC9}, {0x20, 0, 0, 0, 0, 0, 0, 0x10}, 0, 0, 5, {}},
      {"register add wraps without carry",
       {0x3E, 0xFF, 0x06, 0x01, 0x80, 0xC9},
       {0x01, 0, 0, 0, 0, 0, 0, 0x00},
       0,
       0,
       5,
       {}},
      {"add memory sets carry and zero",
       {0x26, 0x00, 0x2E, 0x08, 0x3E, 0x80, 0x86, 0xC9, 0x80},
       {0, 0, 0, 0, 0x00, 0x08, 0, 0x00},
       1,
       1,
       7,
       {}},
      {"add memory without carry",
       {0x26, 0x00, 0x2E, 0x08, 0x3E, 0x10, 0x86, 0xC9, 0x05},
       {0, 0, 0, 0, 0x00, 0x08, 0, 0x15},
       0,
       0,
       7,
       {}},
      {"cmp below", {0x3E, 0x05, 0x06, 0x07, 0xB8, 0xC9}, {0x07, 0, 0, 0, 0, 0, 0, 0x05}, 0, 1, 5, {}},
      {"cmp above", {0x3E, 0x07, 0x06, 0x05, 0xB8, 0xC9}, {0x05, 0, 0, 0, 0, 0, 0, 0x07}, 0, 0, 5, {}},
      {"cmp equal", {0x3E, 0x07, 0x0E, 0x07, 0xB9, 0xC9}, {0, 0x07, 0, 0, 0, 0, 0, 0x07}, 1, 0, 5, {}},
      {"cmp a with itself", {0x3E, 0x9A, 0xBF, 0xC9}, {0, 0, 0, 0, 0, 0, 0, 0x9A}, 1, 0, 3, {}},
      {"cmp memory",
       {0x26, 0x00, 0x2E, 0x08, 0x3E, 0x05, 0xBE, 0xC9, 0x09},
       {0, 0, 0, 0, 0x00, 0x08, 0, 0x05},
       0,
       1,
       7,
       {}},
      {"later mov, mvi and register add keep the flags of add memory",
       {0x26, 0x00, 0x2E, 0x0C, 0x3E, 0x80, 0x86, 0x47, 0x0E, 0x01, 0x81, 0xC9, 0x80},
       {0x00, 0x01, 0, 0, 0x00, 0x0C, 0, 0x01},
       1,
       1,
       0x0B,
       {}},
      {"move through memory",
       {0x26, 0x01, 0x2E, 0x02, 0x3E, 0x55, 0x77, 0x5E, 0xC9},
       {0, 0, 0, 0x55, 0x01, 0x02, 0, 0x55},
       0,
       0,
       8,
       {{0x0102, 0x55}}},
      {"mvi to memory",
       {0x26, 0x20, 0x2E, 0x00, 0x36, 0x77, 0xC9},
       {0, 0, 0, 0, 0x20, 0x00, 0, 0},
       0,
       0,
       6,
       {{0x2000, 0x77}}},
      {"0x76 loads memory into the spare slot only",
       {0x26, 0x00, 0x2E, 0x06, 0x76, 0xC9, 0x42},
       {0, 0, 0, 0, 0x00, 0x06, 0x42, 0},
       0,
       0,
       5,
       {{0x0006, 0x42}}},
      {"code that writes its own ret",
       {0x26, 0x00, 0x2E, 0x07, 0x36, 0xC9, 0x40, 0x00},
       {0, 0, 0, 0, 0x00, 0x07, 0, 0},
       0,
       0,
       7,
       {{0x0007, 0xC9}}},
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto machine = MachineWith(c.image);
    StepToHalt(*machine);
    EXPECT_EQ(machine->GetRegisters(), c.registers);
    // Every flag byte: Z and CY at their slots (FlagSlotsSitAtTheir8080BitPositions), the rest 0.
    FlagBytes flags{};
    flags[kFlagZero] = c.zero;
    flags[kFlagCarry] = c.carry;
    EXPECT_EQ(machine->GetFlags(), flags);
    EXPECT_EQ(machine->GetProgramCounter(), c.programCounter);
    EXPECT_EQ(machine->GetStackPointer(), kEmptyStack);
    for (const auto& [address, value] : c.memory) EXPECT_EQ(machine->MemoryAt(address), value) << address;
  }
}

TEST(VirtualMachineTest, NewMachineIsInResetState) {
  const auto machine = std::make_unique<VirtualMachine>();
  EXPECT_EQ(machine->GetRegisters(), RegisterFile{});
  EXPECT_EQ(machine->GetFlags(), FlagBytes{});
  EXPECT_EQ(machine->GetProgramCounter(), 0);
  EXPECT_EQ(machine->GetStackPointer(), 0xFFFF);
  for (unsigned a = 0; a < kMemorySize; ++a) ASSERT_EQ(machine->MemoryAt(static_cast<std::uint16_t>(a)), 0);
}

TEST(VirtualMachineTest, ProgramCounterWrapsAtTheTopOfMemory) {
  struct Row {
    std::uint8_t opcode;
    std::uint16_t programCounter;
    std::uint8_t accumulator;
  };
  // The immediate of an MVI at 0xFFFF comes from address 0.
  const Row rows[] = {{0x3E, 0x0001, 0x12}, {0x47, 0x0000, 0x00}, {0x87, 0x0000, 0x00}};
  for (const Row& row : rows) {
    auto machine = MachineWith({row.opcode}, 0xFFFF);
    machine->WriteMemory(0x0000, 0x12);
    EXPECT_EQ(machine->Step(), Continue);
    EXPECT_EQ(machine->GetProgramCounter(), row.programCounter) << int{row.opcode};
    EXPECT_EQ(machine->RegisterAt(kRegA), row.accumulator);
  }
}

TEST(VirtualMachineTest, UndefinedOpcodeChangesNothing) {
  auto machine = MachineWith({0x00, 0xC9});
  const auto before = std::make_unique<VirtualMachine>(*machine);
  EXPECT_EQ(machine->Step(), Continue);
  EXPECT_TRUE(*machine == *before);
}

TEST(VirtualMachineTest, StepAfterHaltHaltsAgain) {
  auto machine = MachineWith({0x40, 0xC9});
  EXPECT_EQ(machine->Step(), Continue);
  EXPECT_EQ(machine->Step(), Halt);
  EXPECT_EQ(machine->Step(), Halt);
  EXPECT_EQ(machine->GetProgramCounter(), 1);
}

TEST(VirtualMachineTest, RegisterAccessorsGuardTheirCode) {
  VirtualMachine machine;
  EXPECT_EQ(machine.SetRegister(8, 0x11), 1);
  EXPECT_EQ(machine.GetRegisters(), RegisterFile{});
  EXPECT_EQ(machine.SetRegister(kRegA, 0x22), 0);
  EXPECT_EQ(&machine.RegisterAt(9), &machine.RegisterAt(kRegA));
  EXPECT_EQ(machine.RegisterAt(9), 0x22);
}

TEST(VirtualMachineTest, RetWithAStackPopsTheReturnAddress) {
  auto machine = MachineWith({0xC9});
  machine->SetStackPointer(0x3000);
  machine->WriteMemory(0x3000, 0x34);
  machine->WriteMemory(0x3001, 0x12);
  EXPECT_EQ(machine->Step(), Continue);
  EXPECT_EQ(machine->GetProgramCounter(), 0x1234);
  EXPECT_EQ(machine->GetStackPointer(), 0x3002);
}

// Each flag's slot in FlagBytes is its bit in the 8080 flag byte, so the
// bytes pack into that byte as they stand.
TEST(VirtualMachineTest, FlagSlotsSitAtTheir8080BitPositions) {
  struct Slot {
    const char* name;
    FlagSlot slot;
    unsigned bit;
  };
  for (const Slot& row : {Slot{"CY", kFlagCarry, 0}, Slot{"P", kFlagParity, 2}, Slot{"AC", kFlagAuxCarry, 4},
                          Slot{"Z", kFlagZero, 6}, Slot{"S", kFlagSign, 7}}) {
    EXPECT_EQ(static_cast<unsigned>(row.slot), row.bit) << row.name;
  }
}

}  // namespace
}  // namespace mirvo

namespace mirvo {
namespace {

// Images from bytes: byte i at address i, the program counter at 0, and
// nothing loaded from an image that does not fit.
TEST(ProgramImageTest, LoadsWhatFitsAndRefusesTheRest) {
  struct Row {
    std::size_t size;
    ImageStatus status;
  };
  const Row rows[] = {{0, ImageStatus::kLoaded},
                      {3, ImageStatus::kLoaded},
                      {65536, ImageStatus::kLoaded},
                      {65537, ImageStatus::kTooLarge}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::vector<std::uint8_t> bytes(row.size);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    auto machine = std::make_unique<VirtualMachine>();
    machine->SetProgramCounter(5);
    EXPECT_EQ(LoadImage(*machine, bytes.data(), bytes.size()), row.status);
    const bool loaded = row.status == ImageStatus::kLoaded;
    EXPECT_EQ(machine->GetProgramCounter(), loaded ? 0 : 5);
    for (std::size_t a = 0; a < kMemorySize; a += 4099) {
      const std::uint8_t expected = loaded && a < bytes.size() ? bytes[a] : 0;
      EXPECT_EQ(machine->MemoryAt(static_cast<std::uint16_t>(a)), expected) << a;
    }
    if (loaded && row.size == kMemorySize) {
      EXPECT_EQ(machine->MemoryAt(0xFFFF), bytes[0xFFFF]);
    }
  }
}

}  // namespace
}  // namespace mirvo
