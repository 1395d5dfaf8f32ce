#include "Tokenizer.h"

#include <algorithm>
#include <cstring>

namespace mirvo {

Tokenizer::Tokenizer(const char* text, const char* delimiters)
    : text(text),
      delimiters(delimiters),
      commentChar(0),
      position(0),
      done(false),
      textLength(static_cast<std::int32_t>(std::strlen(text))),
      delimiterCount(static_cast<std::int32_t>(std::strlen(delimiters))),
      classes(&ownClasses),
      ownClasses(delimiters, 0),
      sentinel(EndsWithStop()) {}

Tokenizer::Tokenizer(const char* text, std::int32_t length, const TokenClasses& classes)
    : text(text),
      delimiters(""),
      commentChar(0),
      position(0),
      done(false),
      textLength(length),
      delimiterCount(0),
      classes(&classes),
      sentinel(EndsWithStop()) {}

bool Tokenizer::EndsWithStop() const {
  return textLength > 0 && classes->Of(text[textLength - 1]) != TokenClasses::kOrdinary;
}

void Tokenizer::SetCommentChar(char ch) {
  if (classes != &ownClasses) {
    ownClasses = *classes;
    classes = &ownClasses;
  }
  ownClasses.SetComment(commentChar, ch);
  commentChar = ch;
  sentinel = EndsWithStop();
}

char* Tokenizer::NextToken() {
  const char* const first = NextTokenInPlace();
  // Characters past the buffer are consumed but not kept.
  const auto n = std::min(static_cast<std::size_t>(tokenLength), sizeof(token) - 1);
  std::memcpy(token, first, n);
  token[n] = '\0';
  return token;
}

}  // namespace mirvo
