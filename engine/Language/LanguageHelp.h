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

enum class CompletionKind : std::uint8_t { kMnemonic, kRegister };

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

}  // namespace mirvo
