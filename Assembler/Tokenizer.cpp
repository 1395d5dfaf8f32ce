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
      delimiterCount(static_cast<std::int32_t>(std::strlen(delimiters))),
      classes{} {
  for (std::int32_t i = 0; i < delimiterCount; ++i) {
    classes[static_cast<unsigned char>(this->delimiters[i])] = kDelimiter;
  }
}

void Tokenizer::SetCommentChar(char ch) {
  // A delimiter stays a delimiter; the old comment character becomes ordinary.
  const auto old = static_cast<unsigned char>(commentChar);
  if (old != 0 && classes[old] == kComment) classes[old] = kOrdinary;
  commentChar = ch;
  const auto now = static_cast<unsigned char>(ch);
  if (now != 0 && classes[now] == kOrdinary) classes[now] = kComment;
}

char* Tokenizer::NextToken() {
  token[0] = '\0';
  if (done) return token;
  // Work on locals: stores into token may alias any char, so members would
  // be reloaded after every character.
  const char* const characters = text;
  const std::int32_t length = textLength;
  std::int32_t at = position;
  std::size_t n = 0;
  while (at < length) {
    const char ch = characters[at];
    const CharClass kind = classes[static_cast<unsigned char>(ch)];
    if (kind == kDelimiter) {
      ++at;
      if (n > 0) {
        position = at;
        token[n] = '\0';
        return token;
      }
      continue;
    }
    if (kind == kComment) {
      // The comment ends the text; position stays on it.
      break;
    }
    // Characters past the buffer are consumed but not kept.
    if (n < sizeof(token) - 1) token[n++] = ch;
    ++at;
  }
  position = at;
  token[n] = '\0';
  done = true;
  return token;
}

}  // namespace mirvo
