#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Assembler.h"

namespace mirvo {
namespace {

struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::string output;
  int status;
};

Outcome AssembleText(const std::string& source) {
  auto assembler = std::make_unique<Assembler>();
  std::string copy = source;
  assembler->Open(::fmemopen(copy.data(), copy.size(), "r"));
  testing::internal::CaptureStdout();
  const int status = assembler->Assemble();
  Outcome outcome{{}, testing::internal::GetCapturedStdout(), status};
  outcome.bytes.assign(assembler->GetImage().begin(), assembler->GetImage().begin() + assembler->GetLength());
  return outcome;
}

const std::string kLine1 = "Error! on line 1\n";
const std::string kNotAReg = "Not a reg\n" + kLine1;
const std::string kUndefined = "Undefined Instruction\n" + kLine1;

TEST(EncoderTest, EachStatementGivesItsBytesOrItsMessage) {
  struct Row {
    std::string line;
    std::vector<std::uint8_t> bytes;
    std::string output;  // empty: success
  };
  const Row rows[] = {
      // MOV: registers, "Mem" and h-numbers as M; Invalid operands refused.
      {"MOV A, B", {0x78}, ""},
      {"MOV B, A", {0x47}, ""},
      {"MOV H, L", {0x65}, ""},
      {"MOV A, Mem", {0x7E}, ""},
      {"MOV Mem, A", {0x77}, ""},
      {"MOV Mem, Mem", {0x76}, ""},
      {"MOV A, 20h", {0x7E}, ""},
      {"MOV A, mEm", {0x7E}, ""},
      {"mov B, A", {0x47}, ""},
      {"MOV A, B, C", {0x78}, ""},
      {"MOV a, b", {}, kNotAReg},
      {"MOV A, M", {}, kNotAReg},
      {"MOV A, xyz", {}, kLine1},
      {"MOV xyz, A", {}, kLine1},
      {"MOV A, 20H", {}, kLine1},
      {"MOV A", {}, kLine1},
      // MVI: strict immediates from -80h to FFh.
      {"MVI A, 5h", {0x3E, 0x05}, ""},
      {"MVI B, 0Ah", {0x06, 0x0A}, ""},
      {"MVI Mem, 0FFh", {0x36, 0xFF}, ""},
      {"MVI 12h, 3h", {0x36, 0x03}, ""},
      {"MVI A, FFh", {0x3E, 0xFF}, ""},
      {"MVI L, -1h", {0x2E, 0xFF}, ""},
      {"MVI A, -80h", {0x3E, 0x80}, ""},
      {"MVI A, +5h", {0x3E, 0x05}, ""},
      {"MVI A, 0x1Ah", {0x3E, 0x1A}, ""},
      {"MVI A, 000042h", {0x3E, 0x42}, ""},
      {"MVI A, 0ffh", {0x3E, 0xFF}, ""},
      {"MVI A, -0h", {0x3E, 0x00}, ""},
      {"MVI A, Mem", {}, kLine1},
      {"MVI A, xyzh", {}, kLine1},
      {"MVI A, 12zzh", {}, kLine1},
      {"MVI A, hh", {}, kLine1},
      {"MVI A, 100h", {}, kLine1},
      {"MVI A, 1FFh", {}, kLine1},
      {"MVI A, -81h", {}, kLine1},
      {"MVI A, 0xh", {}, kLine1},
      {"MVI A, 5", {}, kLine1},
      {"MVI A, 5H", {}, kLine1},
      {"MVI A, h", {}, kLine1},
      {"MVI A, 5hh", {}, kLine1},
      {"MVI xyz, 5h", {}, kLine1},
      {"MVI m, 5h", {}, kNotAReg},
      {"MVI A", {}, kLine1},
      // ADD and CMP: exactly one operand.
      {"ADD B", {0x80}, ""},
      {"ADD A", {0x87}, ""},
      {"ADD Mem", {0x86}, ""},
      {"ADD 10h", {0x86}, ""},
      {"ADD xyz", {}, kLine1},
      {"ADD A, B", {}, kLine1},
      {"ADD", {}, kLine1},
      {"ADD q", {}, kNotAReg},
      {"CMP C", {0xB9}, ""},
      {"CMP A", {0xBF}, ""},
      {"CMP mem", {0xBE}, ""},
      {"cmp B", {0xB8}, ""},
      {"CMP", {}, kLine1},
      // RET takes nothing; unknown mnemonics are refused by name.
      {"RET", {0xC9}, ""},
      {"ret", {0xC9}, ""},
      {"RET A", {}, kLine1},
      {"NOP", {}, kUndefined},
      {"MOVE A, B", {}, kUndefined},
      {"MO A, B", {}, kUndefined},
      {"JMP 0h", {}, kUndefined},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Outcome outcome = AssembleText(row.line + "\n");
    EXPECT_EQ(outcome.bytes, row.bytes);
    EXPECT_EQ(outcome.output, row.output);
    EXPECT_EQ(outcome.status, row.output.empty() ? 0 : 1);
  }
}

TEST(EncoderTest, FailingStatementEndsTheRunAndKeepsEarlierBytes) {
  const Outcome outcome = AssembleText("MVI A, 5h\n; note\n\nNOP\nRET\n");
  EXPECT_EQ(outcome.bytes, (std::vector<std::uint8_t>{0x3E, 0x05}));
  EXPECT_EQ(outcome.output, "Undefined Instruction\nError! on line 4\n");
}

TEST(EncoderTest, ProgramMayFillButNotPassTheImage) {
  struct Row {
    std::string source;
    std::uint32_t length;
    std::string output;
  };
  std::string ret65536;
  for (int i = 0; i < 65536; ++i) ret65536 += "RET\n";
  std::string mvi32768;
  for (int i = 0; i < 32768; ++i) mvi32768 += "MVI A, 1h\n";
  const Row rows[] = {
      {ret65536, 65536, ""},
      {ret65536 + "RET\n", 65536, "Program too large\nError! on line 65537\n"},
      {"RET\n" + mvi32768, 65535, "Program too large\nError! on line 32769\n"},
  };
  for (const Row& row : rows) {
    const Outcome outcome = AssembleText(row.source);
    EXPECT_EQ(outcome.bytes.size(), row.length);
    EXPECT_EQ(outcome.output, row.output);
  }
}

TEST(EncoderTest, OperandKinds) {
  struct Row {
    std::vector<std::string> tokens;
    int index;
    OperandKind kind;
  };
  const Row rows[] = {
      {{"MOV", "A"}, 1, Register}, {{"MOV", "h"}, 1, Register},           {{"MOV", "M"}, 1, Register},
      {{"MOV", "Mem"}, 1, MemoryOrImmediate}, {{"MOV", "MEM"}, 1, MemoryOrImmediate}, {{"MOV", "0h"}, 1, MemoryOrImmediate},
      {{"MOV", "20H"}, 1, Invalid}, {{"MOV", "xyz"}, 1, Invalid},            {{"MOV", "A"}, 2, Invalid},
  };
  Assembler assembler;
  for (const Row& row : rows) {
    Statement statement{};
    statement.count = static_cast<std::int32_t>(row.tokens.size());
    for (std::size_t i = 0; i < row.tokens.size(); ++i) {
      std::snprintf(statement.tokens[i], kTokenSlotSize, "%s", row.tokens[i].c_str());
    }
    EXPECT_EQ(assembler.ClassifyOperand(statement, row.index), row.kind) << row.tokens[1];
  }
}

}  // namespace
}  // namespace mirvo
