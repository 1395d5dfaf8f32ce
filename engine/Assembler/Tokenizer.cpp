#include "Tokenizer.h"

#include <algorithm>
#include <cstring>

namespace mirvo {

Tokenizer::Tokenizer(const char* text, const char* delimiters)
    : text(text),
      classes(&ownClasses),
      textLength(static_cast<std::int32_t>(std::strlen(text))),
      sentinel(false),
      ownClasses(delimiters, 0) {
  sentinel = EndsWithStop();
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
