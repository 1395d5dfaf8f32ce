#pragma once
// Reads an assembly source one statement at a time: each physical line is
// split into at most three tokens; lines without a token are skipped.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "AtomicFile.h"

namespace mirvo {

inline constexpr std::size_t kStatementTokens = 3;
inline constexpr std::size_t kTokenSlotSize = 256;  // 255 characters and the terminator

// The tokens of one line: the mnemonic, then the operands as written. Only
// the first count slots are meaningful; the others may hold older tokens.
struct Statement {
  char tokens[kStatementTokens][kTokenSlotSize];
  std::int32_t count;
};

class SourceReader {
 public:
  // Opens path in text mode; a failed open leaves a reader without a file.
  explicit SourceReader(const char* path);
  // Reads from an open stream, which the reader then owns.
  explicit SourceReader(std::FILE* stream);
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  // Fills out with the next line that holds a token, or with a count of 0 at
  // the end of the file (or at once, without a file, or after a read error).
  void ReadStatement(Statement* out);
  // Physical lines read so far: after a statement, the line it stands on.
  std::int32_t GetLineNumber() const { return lineNumber; }
  bool IsOpen() const { return file != nullptr; }
  bool HasReadError() const { return readError; }

 private:
  enum class PieceEnd { kMore, kLineEnd, kFileEnd };

  PieceEnd ReadPiece(char* line, std::size_t& size);
  bool Refill();

  FilePtr file;
  std::int32_t lineNumber = 0;
  bool readError = false;
  // The file is read in blocks; lines are cut out of the current block.
  std::size_t blockSize = 0;
  std::size_t blockPosition = 0;
  char block[std::size_t{1} << 16];
};

}  // namespace mirvo
