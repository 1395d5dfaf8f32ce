#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Assembler.h"

namespace mirvo {
namespace {

using Kind = DiagnosticKind;

struct Found {
  Kind kind;
  std::int32_t line;
  std::int32_t column;
  std::int32_t length;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
  *os << "kind " << static_cast<int>(f.kind) << " at " << f.line << ":" << f.column << " length " << f.length;
}

struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::vector<Found> diagnostics;
  int status;
};

Outcome AssembleText(const std::string& source, const AssemblyOptions& options = {}) {
  auto assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  const int status = assembler->Assemble(options);
  Outcome outcome{{}, {}, status};
  outcome.bytes.assign(assembler->GetImage().begin(), assembler->GetImage().begin() + assembler->GetLength());
  for (const Diagnostic& d : assembler->GetDiagnostics()) outcome.diagnostics.push_back({d.kind, d.line, d.column, d.length});
  return outcome;
}

// Each encoder rule: the bytes of a good statement, or the one error of a bad
// one with the column and length of the token it is about. Warnings of good
// statements are shown too.
TEST(EncoderTest, EachStatementGivesItsBytesOrItsDiagnostic) {
  struct Row {
    std::string line;
    std::vector<std::uint8_t> bytes;
    std::vector<Found> diagnostics;  // line 1 throughout
  };
  const auto at = [](Kind kind, std::int32_t column, std::int32_t length) { return Found{kind, 1, column, length}; };
  const Row rows[] = {
      // MOV: registers, "Mem" and h-numbers as M; Invalid operands refused.
      {"MOV A, B", {0x78}, {}},
      {"MOV B, A", {0x47}, {}},
      {"MOV H, L", {0x65}, {}},
      {"MOV A, Mem", {0x7E}, {}},
      {"MOV Mem, A", {0x77}, {}},
      {"MOV Mem, Mem", {0x76}, {at(Kind::kMemoryToMemory, 1, 3)}},
      {"MOV A, 20h", {0x7E}, {at(Kind::kNumberReadAsMemory, 8, 3)}},
      {"MOV C, 7h", {0x4E}, {at(Kind::kNumberReadAsMemory, 8, 2)}},
      {"MOV A, mEm", {0x7E}, {}},
      {"mov B, A", {0x47}, {}},
      {"MOV A, B, C", {0x78}, {at(Kind::kIgnoredTokens, 11, 1)}},
      {"MOV a, b", {}, {at(Kind::kNotARegister, 5, 1)}},
      {"MOV A, M", {}, {at(Kind::kNotARegister, 8, 1)}},
      {"MOV A, h", {}, {at(Kind::kNotARegister, 8, 1)}},
      {"MOV A, MEM", {0x7E}, {}},
      {"MOV A, 0h", {0x7E}, {at(Kind::kNumberReadAsMemory, 8, 2)}},
      {"MOV A, xyz", {}, {at(Kind::kWrongOperandKind, 8, 3)}},
      {"MOV xyz, A", {}, {at(Kind::kWrongOperandKind, 5, 3)}},
      {"MOV A, 20H", {}, {at(Kind::kWrongOperandKind, 8, 3)}},
      {"MOV A", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      // MVI: strict immediates from -80h to FFh.
      {"MVI A, 5h", {0x3E, 0x05}, {}},
      {"MVI B, 0Ah", {0x06, 0x0A}, {}},
      {"MVI Mem, 0FFh", {0x36, 0xFF}, {}},
      {"MVI 12h, 3h", {0x36, 0x03}, {at(Kind::kNumberReadAsMemory, 5, 3)}},
      {"MVI A, FFh", {0x3E, 0xFF}, {}},
      {"MVI L, -1h", {0x2E, 0xFF}, {}},
      {"MVI A, -80h", {0x3E, 0x80}, {}},
      {"MVI A, +5h", {0x3E, 0x05}, {}},
      {"MVI A, 0x1Ah", {0x3E, 0x1A}, {}},
      {"MVI A, 000042h", {0x3E, 0x42}, {}},
      {"MVI A, 0ffh", {0x3E, 0xFF}, {}},
      {"MVI A, -0h", {0x3E, 0x00}, {}},
      {"MVI A, 5h ; x, y", {0x3E, 0x05}, {}},
      {"MVI A, 5h, 6h", {0x3E, 0x05}, {at(Kind::kIgnoredTokens, 12, 2)}},
      {"MVI A, Mem", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI A, xyzh", {}, {at(Kind::kImmediateNotANumber, 8, 4)}},
      {"MVI A, 12zzh", {}, {at(Kind::kImmediateNotANumber, 8, 5)}},
      {"MVI A, hh", {}, {at(Kind::kImmediateNotANumber, 8, 2)}},
      {"MVI A, 100h", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, 1FFh", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, -81h", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, 0xh", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI A, 5", {}, {at(Kind::kImmediateNotANumber, 8, 1)}},
      {"MVI A, 5H", {}, {at(Kind::kImmediateNotANumber, 8, 2)}},
      {"MVI A, h", {}, {at(Kind::kImmediateNotANumber, 8, 1)}},
      {"MVI A, 5hh", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI xyz, 5h", {}, {at(Kind::kWrongOperandKind, 5, 3)}},
      {"MVI m, 5h", {}, {at(Kind::kNotARegister, 5, 1)}},
      {"MVI A", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      // ADD and CMP: exactly one operand.
      {"ADD B", {0x80}, {}},
      {"ADD A", {0x87}, {}},
      {"ADD Mem", {0x86}, {}},
      {"ADD 10h", {0x86}, {at(Kind::kNumberReadAsMemory, 5, 3)}},
      {"ADD xyz", {}, {at(Kind::kWrongOperandKind, 5, 3)}},
      {"ADD A, B", {}, {at(Kind::kWrongOperandCount, 8, 1)}},
      {"ADD", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      {"ADD q", {}, {at(Kind::kNotARegister, 5, 1)}},
      {"CMP C", {0xB9}, {}},
      {"CMP A", {0xBF}, {}},
      {"CMP mem", {0xBE}, {}},
      {"cmp B", {0xB8}, {}},
      {"CMP", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      // RET takes nothing; unknown mnemonics are refused by name.
      {"RET", {0xC9}, {}},
      {"ret", {0xC9}, {}},
      {"RET A", {}, {at(Kind::kWrongOperandCount, 5, 1)}},
      {"NOP", {}, {at(Kind::kUnknownMnemonic, 1, 3)}},
      {"MOVE A, B", {}, {at(Kind::kUnknownMnemonic, 1, 4)}},
      {"MO A, B", {}, {at(Kind::kUnknownMnemonic, 1, 2)}},
      {"  JMP 0h", {}, {at(Kind::kUnknownMnemonic, 3, 3)}},
  };
  const AssemblyOptions withWarnings{false, false, true};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Outcome outcome = AssembleText(row.line + "\n", withWarnings);
    EXPECT_EQ(outcome.bytes, row.bytes);
    EXPECT_EQ(outcome.diagnostics, row.diagnostics);
    EXPECT_EQ(outcome.status, row.bytes.empty() ? 1 : 0);
  }
}

// Lines and columns are those of the physical line, wherever the reader's
// pieces fall; collecting every diagnostic goes on past an error and gives
// the same bytes as stopping would for a source without errors.
TEST(EncoderTest, DiagnosticsOfAWholeSource) {
  const std::string pad(600, ' ');
  const std::string source = "MVI A, 5\n; note\n\tADD b\nRET\n" + pad + "CMP   xyz\nNOP\n";
  const Outcome first = AssembleText(source);
  EXPECT_EQ(first.diagnostics, (std::vector<Found>{{Kind::kImmediateNotANumber, 1, 8, 1}}));
  EXPECT_TRUE(first.bytes.empty());
  const Outcome all = AssembleText(source, {true, false, false});
  EXPECT_EQ(all.diagnostics, (std::vector<Found>{{Kind::kImmediateNotANumber, 1, 8, 1},
                                                 {Kind::kNotARegister, 3, 6, 1},
                                                 {Kind::kWrongOperandKind, 5, 607, 3},
                                                 {Kind::kUnknownMnemonic, 6, 1, 3}}));
  EXPECT_EQ(all.bytes, (std::vector<std::uint8_t>{0xC9}));
  EXPECT_EQ(all.status, 1);
  const Outcome stops = AssembleText("MVI A, 5h\n; note\n\nNOP\nRET\n");
  EXPECT_EQ(stops.bytes, (std::vector<std::uint8_t>{0x3E, 0x05}));
  EXPECT_EQ(stops.diagnostics, (std::vector<Found>{{Kind::kUnknownMnemonic, 4, 1, 3}}));
  const std::string good = "MVI A, 5h\n" + pad + "ADD B\nRET";
  EXPECT_EQ(AssembleText(good, {true, true, true}).bytes, AssembleText(good).bytes);
}

TEST(EncoderTest, StatementsAreRecordedWithTheirAddresses) {
  auto assembler = std::make_unique<Assembler>();
  const std::string source = "; sum\nMVI A, 5h\n  ADD B\nbad\nMVI Mem, 0FFh\nRET\n";
  assembler->Open(source.data(), source.size());
  EXPECT_EQ(assembler->Assemble({true, true, false}), 1);
  struct Row {
    std::int32_t line, column;
    std::uint16_t address;
    std::vector<std::uint8_t> bytes;
  };
  const Row rows[] = {{2, 1, 0, {0x3E, 0x05}}, {3, 3, 2, {0x80}}, {5, 1, 3, {0x36, 0xFF}}, {6, 1, 5, {0xC9}}};
  const auto& statements = assembler->GetStatements();
  ASSERT_EQ(statements.size(), std::size(rows));
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const StatementRecord& s = statements[i];
    EXPECT_EQ(s.line, rows[i].line);
    EXPECT_EQ(s.column, rows[i].column);
    EXPECT_EQ(s.address, rows[i].address);
    EXPECT_EQ(std::vector<std::uint8_t>(s.bytes, s.bytes + s.length), rows[i].bytes);
  }
}

TEST(EncoderTest, ProgramMayFillButNotPassTheImage) {
  struct Row {
    std::string source;
    std::uint32_t length;
    std::vector<Found> diagnostics;
  };
  std::string ret65536;
  for (int i = 0; i < 65536; ++i) ret65536 += "RET\n";
  std::string mvi32768;
  for (int i = 0; i < 32768; ++i) mvi32768 += "MVI A, 1h\n";
  const Row rows[] = {
      {ret65536, 65536, {}},
      {ret65536 + "RET\n", 65536, {{Kind::kProgramTooLarge, 65537, 1, 3}}},
      {"RET\n" + mvi32768, 65535, {{Kind::kProgramTooLarge, 32769, 1, 3}}},
  };
  for (const Row& row : rows) {
    const Outcome outcome = AssembleText(row.source);
    EXPECT_EQ(outcome.bytes.size(), row.length);
    EXPECT_EQ(outcome.diagnostics, row.diagnostics);
  }
}

}  // namespace
}  // namespace mirvo
