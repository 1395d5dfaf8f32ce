#pragma once
// Reads an assembly source one statement at a time: each physical line is
// split into tokens by a Tokenizer, of which a statement keeps three; lines
// without a token are skipped. The source is a text in memory or a stream
// read through a function, so the reader itself never touches a file. A line
// is always read whole, however long.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirvo {

inline constexpr std::size_t kStatementTokens = 3;
inline constexpr std::size_t kTokenSlotSize = 256;  // 255 characters and the terminator

// Where a token stands in its physical line: the 1-based column of its first
// byte and its length in bytes as written (a token is kept cut to 255
// characters, but its place is the whole of it). Column 0: no such token.
struct TokenPlace {
  std::int32_t column;
  std::int32_t length;
};

// The tokens of one line: the mnemonic, then the operands as written. Only
// the first count slots are meaningful; the others may hold older tokens.
struct Statement {
  char tokens[kStatementTokens][kTokenSlotSize];
  std::int32_t count;
  TokenPlace places[kStatementTokens];
  // The first token after the third, ignored with the rest of its line.
  TokenPlace ignored;
};

class SourceReader {
 public:
  // Delivers up to size more bytes of the source into buffer and returns how
  // many; 0 at the end. Sets *error when the source could not be read.
  using ReadFunction = std::size_t (*)(void* context, char* buffer, std::size_t size, bool* error);

  // Reads the size bytes at text, which must outlive the reader.
  SourceReader(const char* text, std::size_t size);
  // Reads through read(context, ...), in blocks of at most 64 KiB.
  SourceReader(ReadFunction read, void* context);
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  // Fills out with the next line that holds a token, or with a count of 0 at
  // the end of the source (or after a read error).
  void ReadStatement(Statement* out);
  // Physical lines read so far: after a statement, the line it stands on.
  std::int32_t GetLineNumber() const { return lineNumber; }
  bool HasReadError() const { return readError; }

 private:
  // The next line, which a line feed ends: the last line of a source, which
  // may lack it, is read from a copy that has one. Null at the end of the
  // source, and at a read error, which drops the line it cut.
  const char* NextLine();
  // Moves what is left of a stream's block to the front of its buffer and
  // reads more behind it; a line that fills the buffer is compacted first.
  // Returns how many bytes it read: 0 at the end of the source, or after an
  // error, which then sets readError.
  // Out of line: it runs once a block, and ReadStatement's path through a
  // line stays short without it.
  [[gnu::noinline]] std::size_t Refill();
  // Shortens the line that fills the buffer to what its statement is made
  // of: the separator before each of its first four tokens, the first 255
  // characters and the last one of each, and the byte where its scan stops,
  // which is the last byte of the buffer unless the line's statement is
  // complete (a comment, a NUL byte, a fourth token) and the rest of the
  // line can no longer change it. Records in shifts where the kept bytes
  // stood in the line.
  [[gnu::cold]] void Compact();
  // Where byte at of the line NextLine gave last stood in the line as read.
  std::size_t InLine(std::size_t at) const;
  // Turns the places of the tokens of a compacted line, taken in what was
  // kept of it, into places in the line as read; then drops the shifts,
  // which served that line only.
  [[gnu::cold]] void PlaceInLine(Statement* out, std::int32_t count);

  // From byte at of a compacted line on, a byte stood delta bytes further
  // on in the line as read.
  struct Shift {
    std::size_t at;
    std::size_t delta;
  };

  ReadFunction read = nullptr;
  void* context = nullptr;
  std::unique_ptr<char[]> buffer;  // a stream's block
  std::string lastLine;            // the last line, when it lacks its line feed
  std::vector<Shift> shifts;       // of the line being read; none: not compacted
  std::int32_t lineNumber = 0;
  bool sourceError = false;  // the source reported an error; it ends the text
  bool readError = false;    // ... and the reader has reached that point
  // Lines are found in the block: all of a text in memory, or what was read
  // of a stream and not yet taken.
  const char* block = nullptr;
  std::size_t blockSize = 0;
  std::size_t blockPosition = 0;
  // The end of the memory that holds the line NextLine gave last.
  const char* readableEnd = nullptr;
};

}  // namespace mirvo
