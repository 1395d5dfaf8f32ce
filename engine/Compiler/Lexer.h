#pragma once
// Reads C text into tokens, each a kind and a view of its characters with
// its line and column. Comments and white space are skipped; a line
// starting with # is one directive token.

#include <cstdint>
#include <string_view>

namespace mirvo::cc {

enum class TokenKind : std::uint8_t {
  kEnd,         // the end of the text
  kIdentifier,  // a name or a keyword
  kNumber,      // an integer constant (value holds it, saturated)
  kFloat,       // a floating constant
  kString,      // a string literal
  kCharacter,   // a character constant (value holds it)
  kPunct,       // an operator or punctuator, one to three characters
  kDirective,   // a whole line starting with #
  kError,       // a character C does not use, or an unclosed comment
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;
  int line = 1;
  int column = 1;
  std::uint32_t value = 0;

  bool Is(std::string_view what) const {
    return (kind == TokenKind::kPunct || kind == TokenKind::kIdentifier) && text == what;
  }
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : source(text) {}
  Token Next();

 private:
  void SkipSpace();
  Token Make(TokenKind kind, std::size_t start) const;
  Token Number(std::size_t start);
  Token Quoted(std::size_t start, char quote);
  Token Punct(std::size_t start);
  char Peek(std::size_t ahead = 0) const { return at + ahead < source.size() ? source[at + ahead] : '\0'; }
  void Advance();

  std::string_view source;
  std::size_t at = 0;
  int line = 1;
  std::size_t lineStart = 0;
  int tokenLine = 1;
  std::size_t tokenLineStart = 0;
  bool atLineStart = true;
};

}  // namespace mirvo::cc
