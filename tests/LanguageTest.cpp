// The language help editors show, as data: hover text, completions, the
// formatted layout, and positions in UTF-16.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Format.h"
#include "LanguageHelp.h"
#include "SourceText.h"

namespace mirvo {
namespace {

TEST(LanguageTest, Hover) {
  struct Row {
    std::string line;
    std::size_t offset;
    std::string text;  // empty: no hover
  };
  const Row rows[] = {
      {"mov A, B", 1,
       "**MOV dst, src**: copies src into dst; the flags stay as they were\n\n"
       "Encoding `01 ddd sss`, 1 byte; flags written: none"},
      {"ADD Mem", 2,
       "**ADD src**: adds src to A; ADD Mem also sets Z when the sum is zero and CY when it carries out of bit 7, the "
       "register form leaves the flags as they were\n\nEncoding `10 000 sss`, 1 byte; flags written: Z and CY with "
       "Mem, none with a register"},
      {"MVI A, 5h", 0,
       "**MVI dst, n**: loads the number n into dst; the flags stay as they were\n\n"
       "Encoding `00 ddd 110, then n`, 2 bytes; flags written: none"},
      {"MOV A, B", 7, "**B**: register, code 0 (`000` in the opcode); here, what MOV reads"},
      {"MOV B, A", 4, "**B**: register, code 0 (`000` in the opcode); here, where MOV puts its result"},
      {"ADD mem", 4,
       "**Mem**: the byte at address HL (H * 256 + L), code 6 (`110` in the opcode); here, what ADD reads"},
      {"MVI A, 0F0h", 7, "**0F0h**: the byte 0F0h = 240 = `11110000` in binary; here, the number MVI loads"},
      {"MVI L, -1h", 8,
       "**-1h** = -1, stored as the byte 0FFh = 255 = `11111111` in binary; here, the number MVI loads"},
      {"MVI A, 5", 7, "'5' is not a number: numbers end in a lower-case h, as in 5h"},
      {"ADD 22h", 4,
       "'22h' is read as Mem, the byte at address HL: a number cannot stand where ADD expects a register"},
      {"MVI A, 100h", 10, "'100h' does not fit in a byte: numbers run from -80h to 0FFh"},
      {"MVI A, 10", 7,
       "'10' is not a number: numbers are hexadecimal and end in a lower-case h, as in 10h; decimal 10 is 0Ah"},
      {"MVI A, 20H", 7, "'20H' is not a number: the h at its end must be lower case, as in 20h"},
      {"MOV b, A", 4, "'b' is not a register: register letters are upper case, write B"},
      {"NOP", 0, "'NOP' is not an instruction: the instructions are MOV, MVI, ADD, CMP and RET"},
      {"MOV A, B", 6, ""},
      {"MOV A, B ; Mem", 11, ""},
      {"MOV A, xyz", 8, "'xyz' is not an operand of MOV: use a register letter (A, B, C, D, E, H, L) or Mem"},
      {"MOV A, B, C", 10, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Hover hover = HoverAt(row.line, row.offset);
    EXPECT_EQ(hover.text, row.text);
    EXPECT_EQ(hover.found, !row.text.empty());
  }
  const Hover hover = HoverAt("MVI A, 0F0h ; x", 9);
  EXPECT_EQ(hover.column, 7U);
  EXPECT_EQ(hover.length, 4U);
}

TEST(LanguageTest, Completions) {
  struct Row {
    std::string line;
    std::size_t offset;
    std::string labels;
  };
  const std::string registers = "A B C D E H L Mem";
  const Row rows[] = {
      {"", 0, "MOV MVI ADD CMP RET"},
      {"M", 1, "MOV MVI ADD CMP RET"},
      {"MOV ", 4, registers},
      {"MOV A,", 6, registers},
      {"mov B", 5, registers},
      {"MVI ", 4, registers},
      {"MVI A, ", 7, ""},
      {"RET ", 4, ""},
      {"ADD B ; ", 8, ""},
      {"XYZ ", 4, ""},
      {"ADD B, ", 7, ""},
      {"MOV A, B, ", 10, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::string labels;
    for (const Completion& c : CompletionsAt(row.line, row.offset)) labels += (labels.empty() ? "" : " ") + c.label;
    EXPECT_EQ(labels, row.labels);
  }
}

TEST(LanguageTest, Format) {
  struct Row {
    std::string text;
    std::string formatted;
  };
  const Row rows[] = {
      {"mvi   A,0F0h;load\n", "MVI A, 0F0h     ;load\n"},
      {"\tMOV A ,B , C ; x  \r\nret\r\n", "MOV A, B, C     ; x\r\nRET\r\n"},
      {"  ; note\n   \n,\nRET", "; note\n\n\nRET"},
      {"add mem\nMVI Mem, 000042h ; long\nRET ; end\n", "ADD Mem\nMVI Mem, 000042h ; long\nRET              ; end\n"},
      {"nop  b\nMOV b,M\n", "nop b\nMOV b, M\n"},
      {std::string("RET\0 x\n", 7), std::string("RET\0 x\n", 7)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(FormatSource(row.text), row.formatted);
    EXPECT_EQ(FormatSource(row.formatted), row.formatted);
  }
}

// Formatting moves nothing but blanks and letter case that does not count:
// every example assembles to the same bytes and diagnostics afterwards.
TEST(LanguageTest, FormattingKeepsWhatASourceMeans) {
  const auto assemble = [](const std::string& text) {
    auto assembler = std::make_unique<Assembler>();
    assembler->Open(text.data(), text.size());
    assembler->Assemble({.keepGoing = true, .reportWarnings = true});
    std::string result(reinterpret_cast<const char*>(assembler->GetImage().data()), assembler->GetLength());
    for (const Diagnostic& d : assembler->GetDiagnostics()) result += "|" + DescribeDiagnostic(d);
    return result;
  };
  for (const char* name : {"sum", "move", "carry", "compare", "selfmod"}) {
    std::ifstream file(std::string(MIRVO_EXAMPLES_DIR) + "/" + name + ".asm", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    SCOPED_TRACE(name);
    ASSERT_FALSE(text.str().empty());
    EXPECT_EQ(assemble(FormatSource(text.str())), assemble(text.str()));
  }
  const std::string mistakes = "mov b, M\nMVI A,10 ;x\nADD 22h,\n\tcmp  mem\nMOV A, B, C, D\n";
  EXPECT_EQ(assemble(FormatSource(mistakes)), assemble(mistakes));
}

TEST(LanguageTest, Utf16Positions) {
  struct Row {
    std::string line;
    std::size_t bytes;
    std::size_t units;
  };
  const Row rows[] = {
      {"RET ; abc", 5, 5},           {"RET ; \xC3\xA9t\xC3\xA9", 9, 8},  // é: 2 bytes, 1 unit
      {"; \xF0\x9F\x98\x80!", 7, 5},                                     // an emoji: 4 bytes, 2 units
      {"; \xE2\x82\xAC", 5, 3},                                          // €: 3 bytes, 1 unit
      {"; \xFF\xFE", 4, 4},                                              // not UTF-8: a unit per byte
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(Utf16Units(row.line, row.bytes), row.units);
    EXPECT_EQ(BytesOfUtf16Units(row.line, row.units), row.bytes);
  }
  // Inside a character the offset stays before it.
  EXPECT_EQ(BytesOfUtf16Units("; \xF0\x9F\x98\x80!", 3), 2U);
  const SourceLines lines("RET\r\nADD B\n\nCMP C");
  EXPECT_EQ(lines.Count(), 4U);
  EXPECT_EQ(lines.Line(1), "ADD B");
  EXPECT_EQ(lines.LineEnd(0), "\r\n");
  EXPECT_EQ(lines.LineEnd(3), "");
  EXPECT_EQ(lines.Offset(3, 99), 17U);
  // A listing numbers the lines a file holds: none after the last line end;
  // it prints a last line without the carriage return that ends the text.
  EXPECT_EQ(lines.FileLines(), 4U);
  EXPECT_EQ(SourceLines("RET\n").Count(), 2U);
  EXPECT_EQ(SourceLines("RET\n").FileLines(), 1U);
  EXPECT_EQ(SourceLines("").FileLines(), 0U);
  EXPECT_EQ(SourceLines("RET\r").Line(0), "RET\r");
  EXPECT_EQ(SourceLines("RET\r").PrintedLine(0), "RET");
  EXPECT_EQ(SourceLines("A\r\r\nRET\r").PrintedLine(0), "A\r");
  // As editors count lines, a lone carriage return ends one too.
  const SourceLines editor("RET\rADD B\r\n\rCMP C\r", LineBreaks::kProtocol);
  EXPECT_EQ(editor.Count(), 5U);
  EXPECT_EQ(editor.Line(0), "RET");
  EXPECT_EQ(editor.LineEnd(0), "\r");
  EXPECT_EQ(editor.Line(1), "ADD B");
  EXPECT_EQ(editor.LineEnd(1), "\r\n");
  EXPECT_EQ(editor.Line(2), "");
  EXPECT_EQ(editor.Line(3), "CMP C");
  EXPECT_EQ(editor.Line(4), "");
  EXPECT_EQ(editor.LineOf(3), 0U);
  EXPECT_EQ(editor.LineOf(4), 1U);
  EXPECT_EQ(editor.LineOf(11), 2U);
}

}  // namespace
}  // namespace mirvo
