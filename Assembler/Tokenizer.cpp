#include "Tokenizer.h"

#include <cstring>

namespace mirvo {

Tokenizer::Tokenizer(const char* text, const char* delimiters)
    : text(text),
      delimiters(delimiters),
      commentChar(0),
      position(0),
      done(false),
      textLength(static_cast<std::int32_t>(std::strlen(text))),
      delimiterCount(static_cast<std::int32_t>(std::strlen(delimiters))) {}

void Tokenizer::SetCommentChar(char ch) { commentChar = ch; }

bool Tokenizer::HasMore() const { return !done; }

bool Tokenizer::IsDelimiter(char ch) const {
  for (std::int32_t i = 0; i < delimiterCount; ++i) {
    if (delimiters[i] == ch) return true;
  }
  return false;
}

char* Tokenizer::NextToken() {
  token[0] = '\0';
  if (done) return token;
  std::size_t n = 0;
  while (position < textLength) {
    const char ch = text[position];
    if (IsDelimiter(ch)) {
      ++position;
      if (n > 0) {
        token[n] = '\0';
        return token;
      }
      continue;
    }
    if (ch == commentChar) {
      // The comment ends the text; position stays on it.
      token[n] = '\0';
      done = true;
      return token;
    }
    // Characters past the buffer are consumed but not kept.
    if (n < sizeof(token) - 1) token[n++] = ch;
    ++position;
  }
  token[n] = '\0';
  done = true;
  return token;
}

}  // namespace mirvo
