#include <gtest/gtest.h>

#include <string>

#include "InstructionSet.h"

namespace mirvo {
namespace {

// The opcode map written out as ranges, independently of Decode's bit tests.
Operation ExpectedOperation(unsigned opcode) {
  if (opcode >= 0x40 && opcode <= 0x7F) return Operation::kMov;
  for (const unsigned mvi : {0x06U, 0x0EU, 0x16U, 0x1EU, 0x26U, 0x2EU, 0x36U, 0x3EU}) {
    if (opcode == mvi) return Operation::kMvi;
  }
  if (opcode >= 0x80 && opcode <= 0x87) return Operation::kAdd;
  if (opcode >= 0xB8 && opcode <= 0xBF) return Operation::kCmp;
  if (opcode == 0xC9) return Operation::kRet;
  return Operation::kUndefined;
}

TEST(DecoderTest, EveryOpcodeDecodesToItsOperationAndLength) {
  unsigned defined = 0;
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    const Instruction in = kDecodeTable[opcode];
    SCOPED_TRACE(opcode);
    EXPECT_EQ(in.operation, ExpectedOperation(opcode));
    EXPECT_EQ(in.length, in.operation == Operation::kMvi ? 2U : 1U);
    EXPECT_EQ(in.destination, (opcode >> 3) & 7);
    EXPECT_EQ(in.source, opcode & 7);
    // Only MOV Mem, r and MVI Mem, n store a byte.
    EXPECT_EQ(in.writesMemory, opcode == 0x36 || (opcode >= 0x70 && opcode <= 0x77 && opcode != 0x76));
    if (in.operation != Operation::kUndefined) ++defined;
  }
  EXPECT_EQ(defined, 89U);
}

TEST(DecoderTest, BuildersAndDecoderAgree) {
  struct Row {
    std::uint8_t opcode;
    std::uint8_t expected;
  };
  const Row rows[] = {
      {MovOpcode(kRegA, kRegB), 0x78}, {MovOpcode(kRegB, kRegA), 0x47},
      {MovOpcode(kRegH, kRegL), 0x65}, {MovOpcode(kRegM, kRegM), 0x76},
      {MovOpcode(kRegA, kRegM), 0x7E}, {MovOpcode(kRegM, kRegA), 0x77},
      {MviOpcode(kRegA), 0x3E},        {MviOpcode(kRegM), 0x36},
      {MviOpcode(kRegB), 0x06},        {AddOpcode(kRegB), 0x80},
      {AddOpcode(kRegM), 0x86},        {AddOpcode(kRegA), 0x87},
      {CmpOpcode(kRegB), 0xB8},        {CmpOpcode(kRegM), 0xBE},
      {CmpOpcode(kRegA), 0xBF},        {RetOpcode(), 0xC9},
      {MviOpcode(kRegH), 0x26},        {AddOpcode(kRegH), 0x84},
  };
  for (const Row& row : rows) EXPECT_EQ(row.opcode, row.expected);
}

TEST(DisassembleTest, ListsEachForm) {
  struct Row {
    std::string bytes;
    std::string text;
    std::size_t length;
  };
  const Row rows[] = {
      {"\x78", "MOV A, B", 1},
      {"\x76", "MOV Mem, Mem", 1},
      {"\x3E\x05", "MVI A, 05h", 2},
      {"\x36\xFF", "MVI Mem, 0FFh", 2},
      {"\x3E", "MVI A, ?", 1},
      {"\x86", "ADD Mem", 1},
      {"\xB9", "CMP C", 1},
      {"\xC9", "RET", 1},
      {std::string(1, '\0'), "00h (no instruction)", 1},
      {"\xD3", "0D3h (no instruction)", 1},
      {"\x10", "10h (no instruction)", 1},
  };
  for (const Row& row : rows) {
    char text[32];
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.bytes.data());
    EXPECT_EQ(Disassemble(bytes, row.bytes.size(), text, sizeof(text)), row.length) << row.text;
    EXPECT_STREQ(text, row.text.c_str());
  }
}

}  // namespace
}  // namespace mirvo
