// Each instruction kind and flag outcome in a learner's words, from a real
// step of the machine; and what the checks and the trace take each opcode to
// touch, against the instruction table.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Explain.h"
#include "InstructionEffects.h"

namespace mirvo {
namespace {

// The record of the one step the machine takes from the given state, with
// H and L pointing at 1000h.
StepRecord OneStep(const std::vector<std::uint8_t>& bytes, std::uint8_t a, std::uint8_t b, std::uint8_t memory) {
  auto machine = std::make_unique<VirtualMachine>();
  for (std::size_t i = 0; i < bytes.size(); ++i) machine->WriteMemory(static_cast<std::uint16_t>(i), bytes[i]);
  machine->SetRegister(kRegA, a);
  machine->SetRegister(kRegB, b);
  machine->SetRegister(kRegH, 0x10);
  machine->WriteMemory(0x1000, memory);
  StepRecord record{};
  mirvo::Run run(*machine);
  run.Resume(
      1, [](void* context, const StepRecord& r) { *static_cast<StepRecord*>(context) = r; }, &record);
  return record;
}

TEST(ExplainTest, EachInstructionAndFlagOutcome) {
  struct Row {
    std::vector<std::uint8_t> bytes;
    std::uint8_t a, b, memory;
    const char* sentence;
  };
  const Row rows[] = {
      {{0x47}, 0x42, 0, 0, "MOV B, A: B = A = 42h; the flags stay as they were"},
      {{0x7E}, 0, 0, 0x99, "MOV A, Mem: A = [1000h] = 99h; the flags stay as they were"},
      {{0x70}, 0, 0x05, 0, "MOV Mem, B: [1000h] = B = 05h; the flags stay as they were"},
      {{0x76}, 0, 0, 0x3E, "MOV Mem, Mem: the byte at [1000h] (3Eh) is copied onto itself; nothing visible changes"},
      {{0x06, 0x20}, 0, 0, 0, "MVI B, 20h: B = 20h; the flags stay as they were"},
      {{0x36, 0xC9}, 0, 0, 0, "MVI Mem, 0C9h: [1000h] = 0C9h; the flags stay as they were"},
      {{0x80}, 0x10, 0x20, 0, "ADD B: A = 10h + 20h = 30h; this form leaves the flags as they were"},
      {{0x80},
       0xF0,
       0x20,
       0,
       "ADD B: A = 0F0h + 20h = 10h (wrapped past FFh); this form leaves the flags as they were"},
      {{0x87}, 0x80, 0, 0, "ADD A: A = 80h + 80h = 00h (wrapped past FFh); this form leaves the flags as they were"},
      {{0x86},
       0x10,
       0,
       0x10,
       "ADD Mem: A = 10h + 10h = 20h; no carry out of bit 7, so CY = 0; the result is not zero, so Z = 0"},
      {{0x86},
       0x00,
       0,
       0x00,
       "ADD Mem: A = 00h + 00h = 00h; no carry out of bit 7, so CY = 0; the result is zero, so Z = 1"},
      {{0x86},
       0x10,
       0,
       0xF0,
       "ADD Mem: A = 10h + 0F0h = 00h (wrapped past FFh); the sum 100h carries out of bit 7, so CY = 1; "
       "the result is zero, so Z = 1"},
      {{0x86},
       0xFF,
       0,
       0xF1,
       "ADD Mem: A = 0FFh + 0F1h = 0F0h (wrapped past FFh); the sum 1F0h carries out of bit 7, so CY = 1; "
       "the result is not zero, so Z = 0"},
      {{0xB8}, 0x50, 0x60, 0, "CMP B: A (50h) is below B (60h), so CY = 1 and Z = 0"},
      {{0xB8}, 0x50, 0x50, 0, "CMP B: A (50h) equals B (50h), so CY = 0 and Z = 1"},
      {{0xBE}, 0x50, 0, 0x3E, "CMP Mem: A (50h) is above [1000h] (3Eh), so CY = 0 and Z = 0"},
      {{0xBF}, 0x07, 0, 0, "CMP A: A (07h) equals A (07h), so CY = 0 and Z = 1"},
      {{0xC9}, 0, 0, 0, "RET: the stack is empty, so the program ends here"},
      {{0x00}, 0, 0, 0, "00h is no instruction: nothing changes, not even the program counter, so the run stops here"},
      {{0xD3}, 0, 0, 0, "0D3h is no instruction: nothing changes, not even the program counter, so the run stops here"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sentence);
    EXPECT_EQ(ExplainStep(OneStep(row.bytes, row.a, row.b, row.memory)), row.sentence);
  }
}

// What each opcode touches is found from its effect; it must agree with the
// instruction table's flags and operand shapes.
TEST(ExplainTest, UseOfEachOpcodeAgreesWithTheTable) {
  constexpr std::uint8_t kHL = 1U << kRegH | 1U << kRegL;
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    SCOPED_TRACE(opcode);
    const Instruction in = kDecodeTable[opcode];
    const InstructionUse& use = kUseTable[opcode];
    if (in.operation == Operation::kUndefined || in.operation == Operation::kRet) {
      EXPECT_EQ(use.reads | use.address | use.writes | use.flags, 0);
      continue;
    }
    const InstructionRow& row = RowOf(in.operation);
    const bool sourceIsMem = row.operands[0] == OperandShape::kSource || row.operands[1] == OperandShape::kSource
                                 ? in.source == kRegM
                                 : false;
    const bool destinationIsMem = row.operands[0] == OperandShape::kDestination && in.destination == kRegM;
    EXPECT_EQ(use.flags, sourceIsMem ? row.flagsWrittenByMem : row.flagsWritten);
    EXPECT_EQ(use.loads, sourceIsMem);
    EXPECT_EQ(use.stores, destinationIsMem && !sourceIsMem);
    EXPECT_EQ(use.address, sourceIsMem || destinationIsMem ? kHL : 0);
  }
  // ADD reads A and its operand and writes A; CMP only reads.
  EXPECT_EQ(kUseTable[AddOpcode(kRegB)].reads, 1U << kRegA | 1U << kRegB);
  EXPECT_EQ(kUseTable[AddOpcode(kRegB)].writes, 1U << kRegA);
  EXPECT_EQ(kUseTable[CmpOpcode(kRegM)].reads, 1U << kRegA);
  EXPECT_EQ(kUseTable[CmpOpcode(kRegM)].writes, 0);
  EXPECT_EQ(kUseTable[MovOpcode(kRegM, kRegM)].writes, 1U << kRegM);
}

}  // namespace
}  // namespace mirvo
