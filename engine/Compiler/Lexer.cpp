#include "Lexer.h"

#include <array>

namespace mirvo::cc {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

// The operators and punctuators, longest first so that the first match wins.
constexpr std::array<std::string_view, 46> kPuncts = {
    "<<=", ">>=", "...", "->", "++", "--", "<<", ">>", "<=", ">=", "==", "!=", "&&", "||", "+=", "-=",
    "*=",  "/=",  "%=",  "&=", "|=", "^=", "(",  ")",  "[",  "]",  "{",  "}",  ";",  ",",  "=",  "+",
    "-",   "*",   "/",   "%",  "&",  "|",  "^",  "~",  "!",  "<",  ">",  "?",  ":",  "."};

}  // namespace

void Lexer::Advance() {
  if (source[at] == '\n') {
    ++line;
    lineStart = at + 1;
    atLineStart = true;
  }
  ++at;
}

void Lexer::SkipSpace() {
  while (at < source.size()) {
    const char c = source[at];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      Advance();
    } else if (c == '/' && Peek(1) == '/') {
      while (at < source.size() && source[at] != '\n') ++at;
    } else if (c == '/' && Peek(1) == '*') {
      const std::size_t end = source.find("*/", at + 2);
      if (end == std::string_view::npos) return;  // Next reports the unclosed comment
      while (at < end + 2) Advance();
    } else {
      return;
    }
  }
}

Token Lexer::Make(TokenKind kind, std::size_t start) const {
  Token token;
  token.kind = kind;
  token.text = source.substr(start, at - start);
  token.line = tokenLine;
  token.column = static_cast<int>(start - tokenLineStart) + 1;
  return token;
}

Token Lexer::Next() {
  SkipSpace();
  tokenLine = line;
  tokenLineStart = lineStart;
  const std::size_t start = at;
  if (at >= source.size()) return Make(TokenKind::kEnd, start);
  const char c = source[at];
  const bool lineFirst = atLineStart;
  atLineStart = false;
  if (c == '/' && Peek(1) == '*') {
    at = source.size();
    return Make(TokenKind::kError, start);
  }
  if (c == '#' && lineFirst) {
    while (at < source.size() && source[at] != '\n') ++at;
    return Make(TokenKind::kDirective, start);
  }
  if (IsAlpha(c)) {
    while (IsAlpha(Peek()) || IsDigit(Peek())) ++at;
    return Make(TokenKind::kIdentifier, start);
  }
  if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return Number(start);
  if (c == '"' || c == '\'') return Quoted(start, c);
  return Punct(start);
}

Token Lexer::Number(std::size_t start) {
  std::uint64_t value = 0;
  const auto add = [&value](unsigned base, int digit) {
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
  };
  if (Peek() == '0' && (Peek(1) == 'x' || Peek(1) == 'X') && IsHex(Peek(2))) {
    at += 2;
    while (IsHex(Peek())) add(16, HexValue(source[at++]));
  } else {
    const unsigned base = Peek() == '0' ? 8 : 10;
    while (IsDigit(Peek())) add(base, source[at++] - '0');
  }
  bool floating = Peek() == '.' || Peek() == 'e' || Peek() == 'E';
  while (IsAlpha(Peek()) || IsDigit(Peek()) || Peek() == '.') {
    const char s = source[at];
    if (s != 'u' && s != 'U') floating = floating || s == 'f' || s == 'F' || s == '.';
    ++at;
  }
  Token token = Make(floating ? TokenKind::kFloat : TokenKind::kNumber, start);
  // Only u or U may follow the digits of an integer this compiler reads.
  const std::size_t suffix = token.text.find_first_not_of("0123456789abcdefABCDEFxX");
  for (std::size_t i = suffix; !floating && i < token.text.size(); ++i) {
    if (token.text[i] != 'u' && token.text[i] != 'U') token.kind = TokenKind::kError;
  }
  token.value = static_cast<std::uint32_t>(value);
  return token;
}

Token Lexer::Quoted(std::size_t start, char quote) {
  ++at;
  while (at < source.size() && source[at] != quote && source[at] != '\n') at += source[at] == '\\' ? 2u : 1u;
  if (at > source.size()) at = source.size();  // a backslash was the text's last byte
  if (at >= source.size() || source[at] != quote) return Make(TokenKind::kError, start);
  ++at;
  Token token = Make(quote == '"' ? TokenKind::kString : TokenKind::kCharacter, start);
  if (quote == '\'' && token.text.size() >= 3) {
    const std::string_view inner = token.text.substr(1, token.text.size() - 2);
    token.value = static_cast<unsigned char>(inner[0]);
    if (inner[0] == '\\' && inner.size() > 1) {
      const char e = inner[1];
      token.value = e == 'n' ? 10u : e == 't' ? 9u : e == 'r' ? 13u : e == '0' ? 0u : static_cast<unsigned char>(e);
    }
  }
  return token;
}

Token Lexer::Punct(std::size_t start) {
  for (std::string_view p : kPuncts) {
    if (source.substr(at, p.size()) == p) {
      at += p.size();
      return Make(TokenKind::kPunct, start);
    }
  }
  ++at;
  return Make(TokenKind::kError, start);
}

}  // namespace mirvo::cc
