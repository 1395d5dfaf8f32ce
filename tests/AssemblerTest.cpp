#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Assembler.h"
#include "LanguageHelp.h"

namespace mirvo {
namespace {

using Kind = DiagnosticKind;

struct Found {
  Kind kind;
  std::int32_t line;
  std::int32_t column;
  std::int32_t length;
  // Its fixes as "column:length=text", alternatives joined by " | ".
  std::string fixes = "";
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
  *os << "kind " << static_cast<int>(f.kind) << " at " << f.line << ":" << f.column << " length " << f.length
      << " fixes '" << f.fixes << "'";
}

std::string FixesText(const Diagnostic& d) {
  std::string text;
  for (const Fix& fix : d.fixes) {
    if (!text.empty()) text += " | ";
    if (fix.line != d.line) text += "line " + std::to_string(fix.line) + " ";
    text += std::to_string(fix.column) + ":" + std::to_string(fix.length) + "=" + fix.text;
  }
  return text;
}

struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::vector<Found> diagnostics;
  int status;
};

// programWide: keep the warnings about the program as a whole (a last
// statement that is not RET), which the one-line tables leave out.
Outcome AssembleText(const std::string& source, const AssemblyOptions& options = {}, bool programWide = false) {
  auto assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  const int status = assembler->Assemble(options);
  Outcome outcome{{}, {}, status};
  outcome.bytes.assign(assembler->GetImage().begin(), assembler->GetImage().begin() + assembler->GetLength());
  for (const Diagnostic& d : assembler->GetDiagnostics()) {
    if (programWide || d.kind != Kind::kNoFinalRet) {
      outcome.diagnostics.push_back({d.kind, d.line, d.column, d.length, FixesText(d)});
    }
  }
  return outcome;
}

// Each encoder rule: the bytes of a good statement, or the errors of a bad
// one (every mistake of the line) with the column and length of the token
// each is about and the fixes it offers. Warnings of good statements are
// shown too.
TEST(EncoderTest, EachStatementGivesItsBytesOrItsDiagnostic) {
  struct Row {
    std::string line;
    std::vector<std::uint8_t> bytes;
    std::vector<Found> diagnostics;  // line 1 throughout
  };
  const auto at = [](Kind kind, std::int32_t column, std::int32_t length, std::string fixes = "") {
    return Found{kind, 1, column, length, std::move(fixes)};
  };
  const Row rows[] = {
      // MOV: registers, "Mem" and h-numbers as M; Invalid operands refused.
      {"MOV A, B", {0x78}, {}},
      {"MOV B, A", {0x47}, {}},
      {"MOV H, L", {0x65}, {}},
      {"MOV A, Mem", {0x7E}, {}},
      {"MOV Mem, A", {0x77}, {}},
      {"MOV Mem, Mem", {0x76}, {at(Kind::kMemoryToMemory, 1, 3)}},
      {"MOV A, 20h", {0x7E}, {at(Kind::kNumberReadAsMemory, 8, 3, "1:3=MVI")}},
      {"MOV C, 7h", {0x4E}, {at(Kind::kNumberReadAsMemory, 8, 2, "1:3=MVI")}},
      {"MOV Mem, 5h", {0x76}, {at(Kind::kNumberReadAsMemory, 10, 2, "1:3=MVI"), at(Kind::kMemoryToMemory, 1, 3)}},
      {"MOV 5h, A", {0x77}, {at(Kind::kNumberReadAsMemory, 5, 2)}},
      {"MOV A, mEm", {0x7E}, {}},
      {"mov B, A", {0x47}, {}},
      {"MOV A, B, C", {0x78}, {at(Kind::kIgnoredTokens, 11, 1, "9:3=")}},
      {"MOV a, b", {}, {at(Kind::kNotARegister, 5, 1, "5:1=A"), at(Kind::kNotARegister, 8, 1, "8:1=B")}},
      {"MOV b, M", {}, {at(Kind::kNotARegister, 5, 1, "5:1=B"), at(Kind::kNotARegister, 8, 1, "8:1=Mem")}},
      {"MOV q, xyz", {}, {at(Kind::kNotARegister, 5, 1), at(Kind::kWrongOperandKind, 8, 3)}},
      {"MOV A, M", {}, {at(Kind::kNotARegister, 8, 1, "8:1=Mem")}},
      {"MOV A, h", {}, {at(Kind::kNotARegister, 8, 1, "8:1=H")}},
      {"MOV A, MEM", {0x7E}, {}},
      {"MOV A, 0h", {0x7E}, {at(Kind::kNumberReadAsMemory, 8, 2, "1:3=MVI")}},
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
      {"MVI A, 0X1Ah", {0x3E, 0x1A}, {}},
      {"MVI A, 000042h", {0x3E, 0x42}, {}},
      {"MVI A, 0ffh", {0x3E, 0xFF}, {}},
      {"MVI A, -0h", {0x3E, 0x00}, {}},
      {"MVI A, 5h ; x, y", {0x3E, 0x05}, {}},
      {"MVI A, 5h, 6h", {0x3E, 0x05}, {at(Kind::kIgnoredTokens, 12, 2, "10:4=")}},
      {"MVI A, Mem", {}, {at(Kind::kImmediateNotANumber, 8, 3, "1:3=MOV")}},
      {"MVI A, B", {}, {at(Kind::kImmediateNotANumber, 8, 1, "1:3=MOV | 8:1=Bh")}},
      {"MVI A, L", {}, {at(Kind::kImmediateNotANumber, 8, 1, "1:3=MOV")}},
      {"MVI A, xyzh", {}, {at(Kind::kImmediateNotANumber, 8, 4)}},
      {"MVI A, 12zzh", {}, {at(Kind::kImmediateNotANumber, 8, 5)}},
      {"MVI A, hh", {}, {at(Kind::kImmediateNotANumber, 8, 2)}},
      {"MVI A, 100h", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, 1FFh", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, -81h", {}, {at(Kind::kImmediateOutOfRange, 8, 4)}},
      {"MVI A, 0xh", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI A, 5", {}, {at(Kind::kImmediateNotANumber, 8, 1, "8:1=5h")}},
      // From 10 up digits alone may be decimal or hexadecimal: two fixes.
      {"MVI A, 10", {}, {at(Kind::kImmediateNotANumber, 8, 2, "8:2=0Ah | 8:2=10h")}},
      {"MVI A, -10", {}, {at(Kind::kImmediateNotANumber, 8, 3, "8:3=-0Ah | 8:3=-10h")}},
      {"MVI A, 255", {}, {at(Kind::kImmediateNotANumber, 8, 3, "8:3=0FFh")}},
      {"MVI A, 1F", {}, {at(Kind::kImmediateNotANumber, 8, 2, "8:2=1Fh")}},
      {"MVI A, 300", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI b, 10",
       {},
       {at(Kind::kNotARegister, 5, 1, "5:1=B"), at(Kind::kImmediateNotANumber, 8, 2, "8:2=0Ah | 8:2=10h")}},
      {"MVI A, 5H", {}, {at(Kind::kImmediateNotANumber, 8, 2, "8:2=5h")}},
      {"MVI A, 100H", {}, {at(Kind::kImmediateNotANumber, 8, 4)}},
      {"MVI A, h", {}, {at(Kind::kImmediateNotANumber, 8, 1)}},
      {"MVI A, 5hh", {}, {at(Kind::kImmediateNotANumber, 8, 3)}},
      {"MVI xyz, 5h", {}, {at(Kind::kWrongOperandKind, 5, 3)}},
      {"MVI m, 5h", {}, {at(Kind::kNotARegister, 5, 1, "5:1=Mem")}},
      {"MVI A", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      // ADD and CMP: exactly one operand.
      {"ADD B", {0x80}, {}},
      {"ADD A", {0x87}, {}},
      {"ADD Mem", {0x86}, {}},
      {"ADD 10h", {0x86}, {at(Kind::kNumberReadAsMemory, 5, 3, "1:7=MVI B, 10h\nADD B")}},
      {"CMP 1h ; x", {0xBE}, {at(Kind::kNumberReadAsMemory, 5, 2, "1:6=MVI B, 1h\nCMP B")}},
      {"ADD 1FFh", {0x86}, {at(Kind::kNumberReadAsMemory, 5, 4)}},
      {"ADD xyz", {}, {at(Kind::kWrongOperandKind, 5, 3)}},
      {"ADD A, B", {}, {at(Kind::kWrongOperandCount, 8, 1)}},
      {"ADD", {}, {at(Kind::kWrongOperandCount, 1, 3)}},
      {"ADD q", {}, {at(Kind::kNotARegister, 5, 1)}},
      {"ADD e", {}, {at(Kind::kNotARegister, 5, 1, "5:1=E")}},
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
  const AssemblyOptions withWarnings{.reportWarnings = true};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Outcome outcome = AssembleText(row.line + "\n", withWarnings);
    EXPECT_EQ(outcome.bytes, row.bytes);
    EXPECT_EQ(outcome.diagnostics, row.diagnostics);
    EXPECT_EQ(outcome.status, row.bytes.empty() ? 1 : 0);
    // The pattern front ends class numbers by matches every number the
    // encoder reads, and nothing else.
    if (row.line.starts_with("MVI A, ")) {
      const std::string operand = row.line.substr(7, row.line.find_first_of(" ,;", 7) - 7);
      const bool notANumber = !outcome.diagnostics.empty() && outcome.diagnostics[0].kind == Kind::kImmediateNotANumber;
      EXPECT_EQ(std::regex_match(operand, std::regex(kNumberPattern)), !notANumber) << operand;
    }  // An editor's hover over a token the assembler speaks of says what the
    // diagnostic says.
    Assembler assembler;
    assembler.Open(row.line.data(), row.line.size());
    assembler.Assemble({.keepGoing = true, .reportWarnings = true});
    for (const Diagnostic& d : assembler.GetDiagnostics()) {
      if (d.kind == Kind::kMemoryToMemory || d.kind == Kind::kWrongOperandCount || d.kind == Kind::kIgnoredTokens ||
          d.kind == Kind::kNoFinalRet) {
        continue;
      }
      EXPECT_EQ(HoverAt(row.line, static_cast<std::size_t>(d.column - 1)).text, DescribeDiagnostic(d)) << d.column;
    }
  }
}

// Lines and columns are those of the physical line, wherever the reader's
// pieces fall; collecting every diagnostic goes on past an error and gives
// the same bytes as stopping would for a source without errors.
TEST(EncoderTest, DiagnosticsOfAWholeSource) {
  const std::string pad(600, ' ');
  const std::string source = "MVI A, 5\n; note\n\tADD b\nRET\n" + pad + "CMP   xyz\nNOP\n";
  const Outcome first = AssembleText(source);
  EXPECT_EQ(first.diagnostics, (std::vector<Found>{{Kind::kImmediateNotANumber, 1, 8, 1, "8:1=5h"}}));
  EXPECT_TRUE(first.bytes.empty());
  const Outcome all = AssembleText(source, {true, false, false});
  EXPECT_EQ(all.diagnostics, (std::vector<Found>{{Kind::kImmediateNotANumber, 1, 8, 1, "8:1=5h"},
                                                 {Kind::kNotARegister, 3, 6, 1, "6:1=B"},
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

// Warnings about the whole program: a last statement that is not RET, unless
// its allow comment names past-end; words of an allow comment that name no
// check. Each allow comment is also kept with its statement.
TEST(EncoderTest, ProgramWarningsAndAllowComments) {
  struct Row {
    std::string source;
    std::vector<Found> diagnostics;
    CheckMask lastAllowed;  // by the allow comment of the last statement
  };
  const CheckMask pastEnd = CheckBit(CheckId::kPastEnd);
  const CheckMask codeWrite = CheckBit(CheckId::kCodeWrite);
  const CheckMask carryLost = CheckBit(CheckId::kCarryLost);
  const CheckMask hlUnset = CheckBit(CheckId::kHlUnset);
  const Row rows[] = {
      {"MVI A, 5h\nRET\n", {}, 0},
      {"MVI A, 5h\n", {{Kind::kNoFinalRet, 1, 1, 3}}, 0},
      {"  ADD B\n; the end\n\n", {{Kind::kNoFinalRet, 1, 3, 3}}, 0},
      {"RET\nMVI A, 5h ; mirvo: allow past-end\n", {}, pastEnd},
      {"MVI A, 5h ; mirvo: allow code-write\n", {{Kind::kNoFinalRet, 1, 1, 3}}, codeWrite},
      {"MVI A, 5h ; why: mirvo: allow code-write, past-end: meant\n", {}, codeWrite | pastEnd},
      {"MVI A, 5h ; mirvo: allow past-end carry-lost\n", {}, pastEnd | carryLost},
      {"MVI A, 5h ; mirvo: allow hl-unset code-write past-end\n", {}, hlUnset | codeWrite | pastEnd},
      {"MVI A, 5h ; mirvo: allow past-end meant\n", {{Kind::kUnknownCheckName, 1, 35, 5}}, pastEnd},
      {"MVI A, 5h ; mirvo: allow past_end\nRET\n", {{Kind::kUnknownCheckName, 1, 26, 8}}, 0},
      {"; mirvo: allow nothing, code-write\nRET\n", {{Kind::kUnknownCheckName, 1, 16, 7}}, 0},
      {"RET mirvo: allow past-end\n", {{Kind::kWrongOperandCount, 1, 5, 6}}, 0},
      {"NOP\n", {{Kind::kUnknownMnemonic, 1, 1, 3}}, 0},
      {"", {}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    auto assembler = std::make_unique<Assembler>();
    assembler->Open(row.source.data(), row.source.size());
    assembler->Assemble(AssemblyOptions::Full());
    std::vector<Found> found;
    for (const Diagnostic& d : assembler->GetDiagnostics()) found.push_back({d.kind, d.line, d.column, d.length});
    EXPECT_EQ(found, row.diagnostics);
    const auto& statements = assembler->GetStatements();
    EXPECT_EQ(statements.empty() ? CheckMask{0} : statements.back().allowed, row.lastAllowed);
  }
}

// A constant where ADD or CMP wants a register passes through a register
// that no statement of the program names, in either case or as Mem (HL).
TEST(FixTest, AConstantOperandPassesThroughAFreeRegister) {
  struct Row {
    std::string source;
    std::string fixes;  // of the last diagnostic
  };
  const Row rows[] = {
      {"MOV B, C\nMVI d, 1h\nADD e\nCMP 22h\n", "line 4 1:7=MVI H, 22h\nCMP H"},
      {"MOV B, C\nMVI D, 1h\nADD E\nMOV A, Mem\nADD 22h\n", ""},
      {"ADD 22h\nMOV A, B\n", "1:7=MVI C, 22h\nADD C"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    const Outcome outcome = AssembleText(row.source, {true, false, true});
    ASSERT_FALSE(outcome.diagnostics.empty());
    std::string fixes = outcome.diagnostics.back().fixes;
    if (!fixes.empty() && outcome.diagnostics.back().line != 1) {
      fixes = "line " + std::to_string(outcome.diagnostics.back().line) + " " + fixes;
    }
    EXPECT_EQ(fixes, row.fixes);
  }
}

// Fixes land at their line and column; line ends of the line are kept; a
// fix that overlaps an earlier one or lies outside its line is left out.
TEST(FixTest, ApplyFixes) {
  struct Row {
    std::string text;
    std::vector<Fix> fixes;
    std::string result;
    std::size_t applied;
  };
  const auto fix = [](std::int32_t line, std::int32_t column, std::int32_t length, std::string text) {
    return Fix{line, column, length, std::move(text), ""};
  };
  const Row rows[] = {
      {"MOV b, M\n", {fix(1, 8, 1, "Mem"), fix(1, 5, 1, "B")}, "MOV B, Mem\n", 2},
      {"RET\r\nADD 2h\r\n", {fix(2, 1, 6, "MVI B, 2h\nADD B")}, "RET\r\nMVI B, 2h\r\nADD B\r\n", 1},
      {"MOV A, B, C", {fix(1, 9, 3, "")}, "MOV A, B", 1},
      {"MVI A, 10\n", {fix(1, 8, 2, "0Ah"), fix(1, 8, 2, "10h")}, "MVI A, 0Ah\n", 1},
      {"RET\n", {fix(1, 3, 5, "x"), fix(3, 1, 0, "x"), fix(1, 0, 1, "x")}, "RET\n", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::size_t applied = 99;
    EXPECT_EQ(ApplyFixes(row.text, row.fixes, &applied), row.result);
    EXPECT_EQ(applied, row.applied);
  }
}

TEST(EncoderTest, StatementsAreRecordedWithTheirAddresses) {
  auto assembler = std::make_unique<Assembler>();
  const std::string source = "; sum\nMVI A, 5h\n  ADD B\nbad\nMVI Mem, 0FFh\nRET\n";
  assembler->Open(source.data(), source.size());
  EXPECT_EQ(assembler->Assemble({.keepGoing = true, .recordStatements = true}), 1);
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
      // Once, not once per statement that does not fit.
      {ret65536 + "RET\nMVI A, 1h\nRET\n", 65536, {{Kind::kProgramTooLarge, 65537, 1, 3}}},
  };
  for (const Row& row : rows) {
    const Outcome outcome = AssembleText(row.source, {.keepGoing = true});
    EXPECT_EQ(outcome.bytes.size(), row.length);
    EXPECT_EQ(outcome.diagnostics, row.diagnostics);
  }
}

}  // namespace
}  // namespace mirvo
