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
  // Pointers and locals rather than members: stores into token may alias any
  // char, so members would be reloaded after every character.
  const char* const begin = text;
  const char* const end = begin + textLength;
  const auto classOf = [this](const char* at) { return classes[static_cast<unsigned char>(*at)]; };
  const char* at = begin + position;
  while (at < end && classOf(at) == kDelimiter) ++at;
  const char* const first = at;
  while (at < end && classOf(at) == kOrdinary) ++at;
  // Characters past the buffer are consumed but not kept.
  tokenStart = static_cast<std::int32_t>(first - begin);
  tokenLength = static_cast<std::int32_t>(at - first);
  const auto n = std::min(static_cast<std::size_t>(at - first), sizeof(token) - 1);
  std::memcpy(token, first, n);
  token[n] = '\0';
  if (at < end && classOf(at) == kDelimiter) {
    // Only a token can stop at a delimiter: leading ones were skipped.
    position = static_cast<std::int32_t>(at + 1 - begin);
    stop = Stop::kDelimiter;
    return token;
  }
  // The end of the text, or the comment character, which position stays on.
  position = static_cast<std::int32_t>(at - begin);
  stop = at < end ? Stop::kComment : Stop::kTextEnd;
  done = true;
  return token;
}

}  // namespace mirvo
