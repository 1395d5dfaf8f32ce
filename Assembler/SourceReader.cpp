#include "SourceReader.h"

#include <algorithm>
#include <cstring>

#include "Tokenizer.h"

namespace mirvo {

namespace {

// Spaces, tabs, commas and line ends separate tokens; ";" starts a comment.
constexpr const char* kDelimiters = " ,\t\r\n";
constexpr char kCommentChar = ';';
// A line is read in pieces of at most this many characters.
constexpr std::size_t kPieceLimit = 510;

bool IsDelimiter(char ch) { return ch != '\0' && std::strchr(kDelimiters, ch) != nullptr; }

// Copies token after the first used characters of slot, cut so that the
// slot keeps at most 255 characters, and terminates it.
void PutToken(char* slot, std::size_t used, const char* token) {
  while (*token != '\0' && used < kTokenSlotSize - 1) slot[used++] = *token++;
  slot[used] = '\0';
}

// Takes the tokens of one piece of a physical line into out. A token that
// runs into the end of a piece may go on in the next one: continuing says so
// on entry and is set for the next piece on return. finished is set once the
// rest of the line can no longer add a token: a comment, a NUL byte (text
// ends there) or three whole tokens.
void TakeTokens(const char* line, std::size_t size, Statement& out, bool& continuing, bool& finished) {
  bool joinFirst = continuing && !IsDelimiter(line[0]) && line[0] != kCommentChar && line[0] != '\0';
  continuing = false;
  Tokenizer ST(line, kDelimiters);
  ST.SetCommentChar(kCommentChar);
  while (ST.HasMore()) {
    if (!joinFirst && out.count >= static_cast<std::int32_t>(kStatementTokens)) {
      finished = true;
      break;
    }
    const char* token = ST.NextToken();
    if (token[0] == '\0') break;
    if (joinFirst) {
      char* const slot = out.tokens[out.count - 1];
      PutToken(slot, std::strlen(slot), token);
      joinFirst = false;
    } else {
      PutToken(out.tokens[out.count++], 0, token);
    }
    // A token that ran into the end of the text may go on in the next piece.
    continuing = !ST.HasMore() && ST.GetPosition() == ST.GetTextLength();
  }
  const bool stoppedAtComment = !ST.HasMore() && ST.GetPosition() < ST.GetTextLength();
  const bool textEndsAtNul = static_cast<std::size_t>(ST.GetTextLength()) < size;
  if (stoppedAtComment || textEndsAtNul) finished = true;
}

}  // namespace

SourceReader::SourceReader(const char* path) : file(std::fopen(path, "r")) {}

SourceReader::SourceReader(std::FILE* stream) : file(stream) {}

bool SourceReader::Refill() {
  blockPosition = 0;
  blockSize = std::fread(block, 1, sizeof(block), file.get());
  if (blockSize == 0 && std::ferror(file.get())) readError = true;
  return blockSize > 0;
}

// Copies the next piece of the current physical line into line: up to and
// including its line feed, or kPieceLimit characters, or what is left of the
// file. line is always terminated.
SourceReader::PieceEnd SourceReader::ReadPiece(char* line, std::size_t& size) {
  size = 0;
  while (size < kPieceLimit) {
    if (blockPosition == blockSize && !Refill()) {
      line[size] = '\0';
      return PieceEnd::kFileEnd;
    }
    const char* const start = block + blockPosition;
    const std::size_t available = std::min(kPieceLimit - size, blockSize - blockPosition);
    const auto* const lineFeed = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t taken = lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - start) + 1 : available;
    std::memcpy(line + size, start, taken);
    size += taken;
    blockPosition += taken;
    if (lineFeed != nullptr) {
      line[size] = '\0';
      return PieceEnd::kLineEnd;
    }
  }
  line[size] = '\0';
  return PieceEnd::kMore;
}

void SourceReader::ReadStatement(Statement* out) {
  if (out == nullptr) return;
  out->count = 0;
  if (!file || readError) return;
  char line[512];
  for (;;) {
    std::size_t size = 0;
    PieceEnd end = ReadPiece(line, size);
    if (size == 0 && end == PieceEnd::kFileEnd) return;
    ++lineNumber;
    bool continuing = false;
    bool finished = false;
    for (;;) {
      if (!finished) TakeTokens(line, size, *out, continuing, finished);
      if (end != PieceEnd::kMore) break;
      end = ReadPiece(line, size);
    }
    // A read error ends the source; what was read of the line is dropped.
    if (readError) {
      out->count = 0;
      return;
    }
    if (out->count > 0) return;
  }
}

}  // namespace mirvo
