#pragma once
// Splits one text into tokens at runs of delimiter characters and stops at an
// optional comment character. It never copies or changes the text: it walks
// the caller's characters and builds each token in a buffer of its own.

#include <cstdint>

namespace mirvo {

class Tokenizer {
 public:
  // Why the last NextToken call stopped.
  enum class Stop : std::uint8_t {
    kNone,       // no call yet
    kDelimiter,  // a delimiter ended the token; more text follows
    kTextEnd,    // the text is used up
    kComment,    // the comment character; nothing after it is examined
  };

  // Both strings are the caller's and must outlive the tokenizer.
  Tokenizer(const char* text, const char* delimiters);
  virtual ~Tokenizer() = default;
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

 private:
  // What each byte value is to the splitting loop.
  enum CharClass : std::uint8_t { kOrdinary = 0, kDelimiter = 1, kComment = 2 };

  const char* text;
  const char* delimiters;
  char commentChar;
  std::int32_t position;
  bool done;
  std::int32_t textLength;
  std::int32_t delimiterCount;
  char token[512];
  // The class of every byte value, from delimiters and commentChar; the NUL
  // byte is never examined, so it stays ordinary.
  CharClass classes[256];
  Stop stop = Stop::kNone;
  std::int32_t tokenStart = 0;
  std::int32_t tokenLength = 0;
};

}  // namespace mirvo
