#pragma once
// Help an editor gives while a learner types, as data: what the token under
// the cursor means, and what may be typed where the cursor is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

struct Hover {
  bool found = false;
  std::size_t column = 0;  // 0-based byte column of the token
  std::size_t length = 0;  // its bytes
  std::string text;        // Markdown
};

// What the token of line at byte offset is: an instruction (what it does,
// its encoding, the flags it writes), a register (its code), Mem (the byte
// at HL), a number (its value in hexadecimal, decimal and binary) or why it
// is none of them. found is false between tokens, in comments and on words
// that are nothing.
Hover HoverAt(std::string_view line, std::size_t offset);

enum class CompletionKind : std::uint8_t { kMnemonic, kRegister, kCheck };

struct Completion {
  std::string label;  // as the language wants it written: "MOV", "B", "Mem"
  CompletionKind kind;
  std::string detail;         // one line: "MOV dst, src", "register, code 0"
  std::string documentation;  // Markdown
};

// What may stand at byte offset of line: a mnemonic first, then registers
// and Mem where the instruction takes them; nothing where a number goes,
// after the operands, or in a comment.
std::vector<Completion> CompletionsAt(std::string_view line, std::size_t offset);

// Help text without its Markdown (the bold and the code spans help writes),
// for an editor that shows plain text.
std::string PlainText(std::string_view markdown);

// The instruction a statement being typed names, with the operand the
// cursor is on: label is the table's syntax ("MOV dst, src"), each operand
// a byte range of it.
struct OperandLabel {
  std::size_t start;
  std::size_t end;
};
struct Signature {
  bool found = false;
  std::string label;
  std::string documentation;  // what it does, plain words
  std::vector<OperandLabel> operands;
  std::size_t active = 0;  // index into operands
};
// found is false before the mnemonic ends, on a word that names no
// instruction, for RET, and in a comment.
Signature SignatureAt(std::string_view line, std::size_t offset);

// What each piece of a source is, for an editor's highlighting.
enum class TokenKind : std::uint8_t { kMnemonic, kRegister, kMem, kNumber, kComment, kAllowComment };
// The kinds' names as an editor's legend lists them, by TokenKind value.
inline constexpr const char* kTokenKindNames[] = {"keyword", "variable", "property", "number", "comment", "decorator"};
struct SourceToken {
  std::size_t line;    // 0-based
  std::size_t column;  // 0-based byte column
  std::size_t length;  // bytes
  TokenKind kind;
};
// The tokens of text in order: mnemonics, registers, Mem and numbers as the
// assembler reads them, and comments, those that speak to mirvo (allow and
// given comments) apart. Words that are none of these are left out.
std::vector<SourceToken> SourceTokens(std::string_view text);

// The check name of an allow comment at byte offset of line: its summary
// and meaning, from the check table. found is false elsewhere.
Hover AllowHoverAt(std::string_view line, std::size_t offset);
// The check names that may stand at byte offset of line, inside an allow
// comment after its marker; none elsewhere. label is the name, detail its
// summary, documentation its meaning.
std::vector<Completion> AllowCompletionsAt(std::string_view line, std::size_t offset);

}  // namespace mirvo
