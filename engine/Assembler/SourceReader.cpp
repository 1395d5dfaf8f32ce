#include "SourceReader.h"

#include <algorithm>
#include <cstring>

#include "Tokenizer.h"

namespace mirvo {

namespace {

// Spaces, tabs, commas and line ends separate tokens; ";" starts a comment.
constexpr TokenClasses kSourceClasses(" ,\t\r\n", ';');
// A line is read in pieces of at most this many characters.
constexpr std::size_t kPieceLimit = 510;
constexpr std::size_t kStreamBlock = std::size_t{1} << 16;
// Bytes a short token is copied in: one fixed move, where that many bytes
// can be read from the token on. The block of a stream source has that many
// more bytes behind it, so that no line in it is too near its end.
constexpr std::size_t kShortCopy = 8;

// Copies the size characters at token after the first used characters of
// slot, cut so that the slot keeps at most 255 characters, and terminates it.
void PutToken(char* slot, std::size_t used, const char* token, std::size_t size) {
  const std::size_t n = std::min(size, kTokenSlotSize - 1 - used);
  if (n <= 8 && used == 0) {
    // Most tokens are short: a byte loop the compiler unrolls beats a call.
    for (std::size_t i = 0; i < n; ++i) slot[i] = token[i];
  } else {
    std::memcpy(slot + used, token, n);
  }
  slot[used + n] = '\0';
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
    Tokenizer ST(piece, static_cast<std::int32_t>(size), kSourceClasses);
    if (continuing || out.count > 0) {
      TakeAny(ST, offset);
    } else {
      // The first piece of a line, the common case: up to three tokens.
      TokenSpan spans[kStatementTokens];
      const std::int32_t n = ST.NextTokens(spans, static_cast<std::int32_t>(kStatementTokens));
      const char* const pieceEnd = piece + size;
      for (std::int32_t i = 0; i < n; ++i) {
        const char* const token = piece + spans[i].start;
        const auto length = static_cast<std::size_t>(spans[i].length);
        char* const slot = out.tokens[i];
        if (length < 8 && pieceEnd - token >= 8) {
          // A short token with 8 readable bytes behind it: one fixed move.
          std::memcpy(slot, token, 8);
          slot[length] = '\0';
        } else {
          PutToken(slot, 0, token, length);
        }
        out.places[i] = {static_cast<std::int32_t>(offset) + spans[i].start + 1, spans[i].length};
      }
      out.count = n;
      // A fourth token, if any, is only placed.
      if (ST.HasMore()) TakeAny(ST, offset);
    }
    // A token that ran into the end of the text may go on in the next piece.
    continuing = ST.GetStop() == Tokenizer::Stop::kTextEnd && ST.GetTokenLength() > 0 &&
                 ST.GetTokenStart() + ST.GetTokenLength() == ST.GetTextLength();
    if (ST.GetStop() == Tokenizer::Stop::kComment || ST.GetStop() == Tokenizer::Stop::kNul) finished = true;
    // Once a fourth token is whole, nothing later on the line matters.
    if (out.ignored.column != 0 && !continuing) finished = true;
  }

 private:
  // Takes what is left of the piece in ST, in any state of the line: the
  // rest of a token from the previous piece, more tokens, a fourth token.
  void TakeAny(Tokenizer& ST, std::size_t offset) {
    while (ST.HasMore()) {
      const char* const token = ST.NextTokenInPlace();
      const auto tokenLength = static_cast<std::size_t>(ST.GetTokenLength());
      if (tokenLength == 0) break;
      const auto column = static_cast<std::int32_t>(offset) + ST.GetTokenStart() + 1;
      if (continuing && ST.GetTokenStart() == 0) {
        // The rest of the token that ended the previous piece.
        if (out.ignored.column != 0) {
          out.ignored.length += ST.GetTokenLength();
        } else {
          char* const slot = out.tokens[out.count - 1];
          PutToken(slot, std::strlen(slot), token, tokenLength);
          out.places[out.count - 1].length += ST.GetTokenLength();
        }
      } else if (out.ignored.column != 0) {
        finished = true;
        return;
      } else if (out.count >= static_cast<std::int32_t>(kStatementTokens)) {
        out.ignored = {column, ST.GetTokenLength()};
      } else {
        PutToken(out.tokens[out.count], 0, token, tokenLength);
        out.places[out.count] = {column, ST.GetTokenLength()};
        ++out.count;
      }
      continuing = false;
    }
  }

  Statement& out;
  bool continuing = false;
  bool finished = false;
};

// Takes the tokens of a physical line that lies whole in one piece, its line
// feed included: as LineTokens would, without the states of a line cut into
// pieces. The line feed ends every token, so none goes on past the piece.
// roomy: kShortCopy bytes can be read from every token of the piece on.
[[gnu::always_inline]] inline void TakeLine(Statement& out, const char* piece, std::size_t size, bool roomy) {
  Tokenizer ST(piece, static_cast<std::int32_t>(size), kSourceClasses);
  // Tokens shorter than this are copied in one fixed move.
  const std::int32_t shortLength = roomy ? static_cast<std::int32_t>(kShortCopy) : 0;
  // The three tokens kept and a fourth one, which is only placed.
  const std::int32_t n = ST.NextTokensTo<static_cast<std::int32_t>(kStatementTokens + 1)>(
      [&out, shortLength](auto index, const char* token, std::int32_t start, std::int32_t length) {
        constexpr auto i = static_cast<std::size_t>(decltype(index)::value);
        if constexpr (i == kStatementTokens) {
          out.ignored = {start + 1, length};
        } else {
          char* const slot = out.tokens[i];
          if (length < shortLength) {
            std::memcpy(slot, token, kShortCopy);
            slot[length] = '\0';
          } else {
            PutToken(slot, 0, token, static_cast<std::size_t>(length));
          }
          out.places[i] = {start + 1, length};
        }
      });
  out.count = std::min(n, static_cast<std::int32_t>(kStatementTokens));
}

}  // namespace

SourceReader::SourceReader(const char* text, std::size_t size) : block(text), blockSize(size) {}

SourceReader::SourceReader(ReadFunction read, void* context)
    : read(read), context(context), buffer(std::unique_ptr<char[]>(new char[kStreamBlock + kShortCopy])),
      block(buffer.get()),
      blockSlack(kShortCopy) {}

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

// Finds the next piece of the current physical line: up to and including
// its line feed, or kPieceLimit characters, or what is left of the source.
// piece points into the block when the piece lies inside it, else the piece
// is gathered across blocks in line.
[[gnu::always_inline]] inline SourceReader::PieceEnd SourceReader::ReadPiece(char* line, const char*& piece, std::size_t& size) {
  size = 0;
  piece = line;
  while (size < kPieceLimit) {
    if (blockPosition == blockSize && !Refill()) return PieceEnd::kSourceEnd;
    const char* const start = block + blockPosition;
    const std::size_t available = std::min(kPieceLimit - size, blockSize - blockPosition);
    const auto* const lineFeed = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t taken = lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - start) + 1 : available;
    blockPosition += taken;
    const bool whole = lineFeed != nullptr || taken == kPieceLimit;
    if (size == 0 && whole) {
      // The common case: the piece lies in the block, no copy needed.
      piece = start;
      size = taken;
      return lineFeed != nullptr ? PieceEnd::kLineEnd : PieceEnd::kMore;
    }
    std::memcpy(line + size, start, taken);
    size += taken;
    if (lineFeed != nullptr) return PieceEnd::kLineEnd;
  }
  return PieceEnd::kMore;
}

void SourceReader::ReadStatement(Statement* out) {
  if (out == nullptr) return;
  if (readError) {
    out->count = 0;
    return;
  }
  char line[kPieceLimit + kShortCopy];
  for (;;) {
    // The common case first: a whole line, its line feed included, inside
    // the block.
    const std::size_t left = blockSize - blockPosition;
    if (left != 0) {
      const char* const start = block + blockPosition;
      const auto* const lineFeed = static_cast<const char*>(std::memchr(start, '\n', std::min(left, kPieceLimit)));
      if (lineFeed != nullptr) {
        const auto size = static_cast<std::size_t>(lineFeed - start) + 1;
        blockPosition += size;
        ++lineNumber;
        out->ignored = {0, 0};
        TakeLine(*out, start, size, left + blockSlack - size >= kShortCopy - 1);
        if (out->count > 0) return;
        continue;
      }
    }
    const char* piece = line;
    std::size_t size = 0;
    PieceEnd end = ReadPiece(line, piece, size);
    if (size == 0 && end == PieceEnd::kSourceEnd) {
      out->count = 0;
      return;
    }
    ++lineNumber;
    if (end == PieceEnd::kLineEnd) {
      // A whole line gathered across blocks.
      out->ignored = {0, 0};
      TakeLine(*out, piece, size, piece == line);
      if (out->count > 0) return;
      continue;
    }
    LineTokens tokens(*out);
    std::size_t offset = 0;
    for (;;) {
      if (!tokens.Finished()) tokens.Take(piece, size, offset);
      if (end != PieceEnd::kMore) break;
      offset += size;
      end = ReadPiece(line, piece, size);
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
