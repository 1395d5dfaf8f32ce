#pragma once
// Splits one line of source into tokens, as the scanner of a small
// interpreter does: a token is a place in the line, its start and its length,
// and nothing is copied. Spaces, commas, tabs and carriage returns separate
// tokens. The line feed ends the line; a semicolon (a comment) or a NUL byte
// ends its text before that.

#include <array>
#include <cstddef>
#include <cstdint>

namespace mirvo {

struct Token {
  std::size_t start;   // 0-based, in the line
  std::size_t length;  // 0: no token is left
};

class Tokenizer {
 public:
  // The line is the caller's, must outlive the tokenizer and must end with
  // a line feed, which stops every scan.
  explicit Tokenizer(const char* line) : line(line) {}

  // The next token, or one of length 0 once the line feed, a comment or a
  // NUL byte stops the line; every call after that gives length 0 again.
  Token NextToken() {
    std::size_t at = position;
    while (ClassOf(line[at]) == CharClass::kSeparator) ++at;
    const std::size_t start = at;
    while (ClassOf(line[at]) == CharClass::kText) ++at;
    // A stop is neither: no token starts there, and the tokenizer stays on it.
    position = at;
    return {start, at - start};
  }

 private:
  enum class CharClass : std::uint8_t { kText, kSeparator, kStop };
  static constexpr std::array<CharClass, 256> kClasses = [] {
    std::array<CharClass, 256> table{};
    for (const char ch : {' ', ',', '\t', '\r'}) table[static_cast<unsigned char>(ch)] = CharClass::kSeparator;
    for (const char ch : {'\n', ';', '\0'}) table[static_cast<unsigned char>(ch)] = CharClass::kStop;
    return table;
  }();
  static CharClass ClassOf(char ch) { return kClasses[static_cast<unsigned char>(ch)]; }

  const char* line;
  std::size_t position = 0;
};

}  // namespace mirvo
