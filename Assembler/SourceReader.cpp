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
constexpr std::size_t kStreamBlock = std::size_t{1} << 16;

// Copies token after the first used characters of slot, cut so that the
// slot keeps at most 255 characters, and terminates it.
void PutToken(char* slot, std::size_t used, const char* token) {
  while (*token != '\0' && used < kTokenSlotSize - 1) slot[used++] = *token++;
  slot[used] = '\0';
}

// Gathers the tokens of one physical line from its pieces. A token that runs
// into the end of a piece may go on in the next one.
class LineTokens {
 public:
  explicit LineTokens(Statement& out) : out(out) {
    out.count = 0;
    out.ignored = {0, 0};
  }

  // True once the rest of the line can no longer matter: a comment, a NUL
  // byte (text ends there) or a token after the third.
  bool Finished() const { return finished; }

  // Takes the tokens of the piece that starts at offset bytes into the line.
  void Take(const char* piece, std::size_t size, std::size_t offset) {
    Tokenizer ST(piece, kDelimiters);
    ST.SetCommentChar(kCommentChar);
    while (ST.HasMore()) {
      const char* token = ST.NextToken();
      if (token[0] == '\0') break;
      const auto column = static_cast<std::int32_t>(offset) + ST.GetTokenStart() + 1;
      if (continuing && ST.GetTokenStart() == 0) {
        // The rest of the token that ended the previous piece.
        if (out.ignored.column != 0) {
          out.ignored.length += ST.GetTokenLength();
        } else {
          char* const slot = out.tokens[out.count - 1];
          PutToken(slot, std::strlen(slot), token);
          out.places[out.count - 1].length += ST.GetTokenLength();
        }
      } else if (out.ignored.column != 0) {
        finished = true;
        return;
      } else if (out.count >= static_cast<std::int32_t>(kStatementTokens)) {
        out.ignored = {column, ST.GetTokenLength()};
      } else {
        PutToken(out.tokens[out.count], 0, token);
        out.places[out.count] = {column, ST.GetTokenLength()};
        ++out.count;
      }
      continuing = false;
    }
    // A token that ran into the end of the text may go on in the next piece.
    continuing = ST.GetStop() == Tokenizer::Stop::kTextEnd && ST.GetTokenLength() > 0 &&
                 ST.GetTokenStart() + ST.GetTokenLength() == ST.GetTextLength();
    const bool textEndsAtNul = static_cast<std::size_t>(ST.GetTextLength()) < size;
    if (ST.GetStop() == Tokenizer::Stop::kComment || textEndsAtNul) finished = true;
    // Once a fourth token is whole, nothing later on the line matters.
    if (out.ignored.column != 0 && !continuing) finished = true;
  }

 private:
  Statement& out;
  bool continuing = false;
  bool finished = false;
};

}  // namespace

SourceReader::SourceReader(const char* text, std::size_t size) : block(text), blockSize(size) {}

SourceReader::SourceReader(ReadFunction read, void* context)
    : read(read), context(context), buffer(std::make_unique_for_overwrite<char[]>(kStreamBlock)), block(buffer.get()) {}

bool SourceReader::Refill() {
  if (read == nullptr) return false;
  blockPosition = 0;
  blockSize = 0;
  if (!sourceError) blockSize = read(context, buffer.get(), kStreamBlock, &sourceError);
  // The bytes delivered before an error are still read; the error ends the
  // source where they end.
  if (blockSize == 0 && sourceError) readError = true;
  return blockSize > 0;
}

// Copies the next piece of the current physical line into line: up to and
// including its line feed, or kPieceLimit characters, or what is left of the
// source. line is always terminated.
SourceReader::PieceEnd SourceReader::ReadPiece(char* line, std::size_t& size) {
  size = 0;
  while (size < kPieceLimit) {
    if (blockPosition == blockSize && !Refill()) {
      line[size] = '\0';
      return PieceEnd::kSourceEnd;
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
  if (readError) return;
  char line[512];
  for (;;) {
    std::size_t size = 0;
    PieceEnd end = ReadPiece(line, size);
    if (size == 0 && end == PieceEnd::kSourceEnd) return;
    ++lineNumber;
    LineTokens tokens(*out);
    std::size_t offset = 0;
    for (;;) {
      if (!tokens.Finished()) tokens.Take(line, size, offset);
      if (end != PieceEnd::kMore) break;
      offset += size;
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
