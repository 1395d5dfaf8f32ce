#pragma once
// Splits one text into tokens at runs of delimiter characters and stops at an
// optional comment character. It never copies or changes the text: it walks
// the caller's characters and builds each token in a buffer of its own.

#include <cstdint>
#include <type_traits>

namespace mirvo {

// What each byte value is to the splitting loop. A reader that splits many
// lines with the same delimiters builds this once.
class TokenClasses {
 public:
  enum Class : std::uint8_t { kOrdinary = 0, kDelimiter = 1, kComment = 2, kEnd = 3 };

  // A table to be filled by assignment: left unset, so that a tokenizer
  // that never needs its own table pays nothing for it.
  TokenClasses() {}  // NOLINT: deliberately uninitialised
  // The NUL byte ends the text; a delimiter stays a delimiter even if it is
  // also the comment character (0 for none).
  constexpr TokenClasses(const char* delimiters, char comment) : table{} {
    for (const char* d = delimiters; *d != '\0'; ++d) table[static_cast<unsigned char>(*d)] = kDelimiter;
    SetComment(0, comment);
    table[0] = kEnd;
  }
  constexpr void SetComment(char old, char comment) {
    const auto before = static_cast<unsigned char>(old);
    if (before != 0 && table[before] == kComment) table[before] = kOrdinary;
    const auto now = static_cast<unsigned char>(comment);
    if (now != 0 && table[now] == kOrdinary) table[now] = kComment;
  }
  constexpr Class Of(char ch) const { return table[static_cast<unsigned char>(ch)]; }

 private:
  Class table[256];
};

// Where a token lies in the text being split.
struct TokenSpan {
  std::int32_t start;
  std::int32_t length;
};

class Tokenizer {
 public:
  // Why the last NextToken call stopped.
  enum class Stop : std::uint8_t {
    kNone,       // no call yet
    kDelimiter,  // a delimiter ended the token; more text follows
    kTextEnd,    // the text is used up
    kComment,    // the comment character; nothing after it is examined
    kNul,        // a NUL byte before the given length: the text ends there
  };

  // Both strings are the caller's and must outlive the tokenizer.
  Tokenizer(const char* text, const char* delimiters);
  // Splits the length bytes at text (or fewer, up to a NUL byte) with a
  // prebuilt class table, which must outlive the tokenizer.
  // Inline: the reader makes one for every line.
  Tokenizer(const char* text, std::int32_t length, const TokenClasses& classes)
      : text(text), classes(&classes), textLength(length), sentinel(EndsWithStop()) {}
  ~Tokenizer() = default;
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;

  // 0 means no comment character.
  void SetCommentChar(char ch);
  // True until a NextToken call has used up the text or met the comment.
  bool HasMore() const { return !done; }
  // Index of the next character to examine; once finished, it stands on the
  // comment character if one ended the text, else at the text's length.
  std::int32_t GetPosition() const { return position; }
  std::int32_t GetTextLength() const { return textLength; }
  Stop GetStop() const { return stop; }
  // Where the last token began in the text, and how many characters it had
  // there (more than the buffer keeps, for a token that was cut).
  std::int32_t GetTokenStart() const { return tokenStart; }
  std::int32_t GetTokenLength() const { return tokenLength; }
  // The next token, or the empty string once there is none; an empty token
  // is always the last. The buffer is reused by the next call. A token longer
  // than the buffer is cut to its first 511 characters.
  char* NextToken();
  // The same step without the copy: the token is the GetTokenLength()
  // characters at the returned address in the text (none at the end).
  const char* NextTokenInPlace();
  // Up to max tokens at once, as as many NextTokenInPlace calls would give
  // them, into spans; returns how many. Fewer than max means the text, a
  // comment or a NUL byte ended them.
  std::int32_t NextTokens(TokenSpan* spans, std::int32_t max);
  // The same scan for up to kMax tokens, handing each to take(index, token,
  // start, length) as soon as it ends, index being a
  // std::integral_constant: the caller's copy of the token follows the scan
  // with the slot known at compile time, and no span goes through memory.
  template <std::int32_t kMax, typename Take>
  std::int32_t NextTokensTo(Take&& take);

 private:
  bool EndsWithStop() const {
    return textLength > 0 && classes->Of(text[textLength - 1]) != TokenClasses::kOrdinary;
  }
  // Token kIndex onwards, from at; the scan unrolled, one copy per token.
  template <bool kSentinel, std::int32_t kMax, std::int32_t kIndex, typename Take>
  std::int32_t ScanFrom(Take& take, const char* at, const char* begin, const char* end, const TokenClasses& table);
  // Records where a scan ended: after n tokens, the last from first to at,
  // stopped by class c (or by the end of the text).
  std::int32_t EndScan(std::int32_t n, const char* first, const char* at, TokenClasses::Class c);

  // The scanning state first, the buffers last: a tokenizer made for one
  // line sets a few adjacent fields and never touches the buffers.
  const char* text;
  const TokenClasses* classes;
  std::int32_t textLength;
  std::int32_t position = 0;
  std::int32_t tokenStart = 0;
  std::int32_t tokenLength = 0;
  char commentChar = 0;
  bool done = false;
  Stop stop = Stop::kNone;
  // True when the last byte of the text ends a token, so that a run of
  // token bytes needs no bound test.
  bool sentinel;
  char token[512];
  // The table of a tokenizer made from a delimiter string, or a copy of a
  // shared table that SetCommentChar changed.
  TokenClasses ownClasses;
};

// Inline: the source reader calls it for every token of every line.
[[gnu::always_inline]] inline const char* Tokenizer::NextTokenInPlace() {
  tokenLength = 0;
  if (done) return text + position;
  // Locals rather than members in the loops: the compiler keeps them in
  // registers.
  const TokenClasses& table = *classes;
  const char* const begin = text;
  const char* const end = begin + textLength;
  const char* at = begin + position;
  while (at < end && table.Of(*at) == TokenClasses::kDelimiter) ++at;
  const char* const first = at;
  if (sentinel) {
    // Some byte at or before the end stops the run: no bound to test.
    if (at < end) {
      while (table.Of(*at) == TokenClasses::kOrdinary) ++at;
    }
  } else {
    while (at < end && table.Of(*at) == TokenClasses::kOrdinary) ++at;
  }
  tokenStart = static_cast<std::int32_t>(first - begin);
  tokenLength = static_cast<std::int32_t>(at - first);
  if (at < end) {
    switch (table.Of(*at)) {
      case TokenClasses::kDelimiter:
        // Only a token can stop at a delimiter: leading ones were skipped.
        position = static_cast<std::int32_t>(at + 1 - begin);
        stop = Stop::kDelimiter;
        return first;
      case TokenClasses::kComment:
        stop = Stop::kComment;
        break;
      default:
        stop = Stop::kNul;
        break;
    }
  } else {
    stop = Stop::kTextEnd;
  }
  // The end of the text, the comment character or a NUL, which position
  // stays on.
  position = static_cast<std::int32_t>(at - begin);
  done = true;
  return first;
}

inline std::int32_t Tokenizer::NextTokens(TokenSpan* spans, std::int32_t max) {
  tokenLength = 0;
  std::int32_t n = 0;
  while (n < max && !done) {
    NextTokenInPlace();
    if (tokenLength == 0) break;
    spans[n++] = {tokenStart, tokenLength};
  }
  return n;
}

template <std::int32_t kMax, typename Take>
[[gnu::always_inline]] inline std::int32_t Tokenizer::NextTokensTo(Take&& take) {
  static_assert(kMax > 0);
  tokenLength = 0;
  if (done) return 0;
  // The scan works on locals; the members are written once, when it ends.
  const char* const begin = text;
  const char* const end = begin + textLength;
  const char* const at = begin + position;
  const TokenClasses* table = classes;
#if defined(__GNUC__)
  // The table's address as a value the compiler cannot recompute: else it
  // may give up its register and rebuild the address for every byte.
  asm("" : "+r"(table));
#endif
  return sentinel ? ScanFrom<true, kMax, 0>(take, at, begin, end, *table)
                  : ScanFrom<false, kMax, 0>(take, at, begin, end, *table);
}

[[gnu::always_inline]] inline std::int32_t Tokenizer::EndScan(std::int32_t n, const char* first, const char* at,
                                                              TokenClasses::Class c) {
  // The text, a comment or a NUL ended the scan, after a token (which at
  // stands right behind) or after delimiters (where no token began).
  tokenStart = static_cast<std::int32_t>(first - text);
  tokenLength = static_cast<std::int32_t>(at - first);
  stop = at == text + textLength ? Stop::kTextEnd : c == TokenClasses::kComment ? Stop::kComment : Stop::kNul;
  position = static_cast<std::int32_t>(at - text);
  done = true;
  return n;
}

template <bool kSentinel, std::int32_t kMax, std::int32_t kIndex, typename Take>
[[gnu::always_inline]] inline std::int32_t Tokenizer::ScanFrom(Take& take, const char* at, const char* const begin,
                                                               const char* const end, const TokenClasses& table) {
  // c stays kDelimiter when the run of delimiters reaches the end.
  TokenClasses::Class c = TokenClasses::kDelimiter;
  while (at < end && (c = table.Of(*at)) == TokenClasses::kDelimiter) ++at;
  const char* const first = at;
  if (c != TokenClasses::kOrdinary) return EndScan(kIndex, first, at, c);
  ++at;
  if constexpr (kSentinel) {
    // The last byte of the text is not ordinary: it stops the run.
    while ((c = table.Of(*at)) == TokenClasses::kOrdinary) ++at;
  } else {
    // c stays kOrdinary when the token reaches the end.
    while (at < end && (c = table.Of(*at)) == TokenClasses::kOrdinary) ++at;
  }
  take(std::integral_constant<std::int32_t, kIndex>{}, first, static_cast<std::int32_t>(first - begin),
       static_cast<std::int32_t>(at - first));
  if (c != TokenClasses::kDelimiter) return EndScan(kIndex + 1, first, at, c);
  if constexpr (kIndex + 1 == kMax) {
    tokenStart = static_cast<std::int32_t>(first - begin);
    tokenLength = static_cast<std::int32_t>(at - first);
    position = static_cast<std::int32_t>(at + 1 - begin);
    stop = Stop::kDelimiter;
    return kMax;
  } else {
    return ScanFrom<kSentinel, kMax, kIndex + 1>(take, at + 1, begin, end, table);
  }
}

}  // namespace mirvo
