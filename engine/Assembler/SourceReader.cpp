#include "SourceReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Tokenizer.h"

namespace mirvo {

namespace {

constexpr std::size_t kStreamBlock = std::size_t{1} << 16;
constexpr std::size_t kShortMove = 8;

}  // namespace

SourceReader::SourceReader(const char* text, std::size_t size) : block(text), blockSize(size) {}

SourceReader::SourceReader(ReadFunction read, void* context)
    : read(read),
      context(context),
      // One byte behind the block for the line feed that stops a scan of a
      // line that fills it.
      buffer(new char[kStreamBlock + 1]),
      block(buffer.get()) {}

std::size_t SourceReader::Refill() {
  if (read == nullptr) return 0;
  if (sourceError) {
    readError = true;
    return 0;
  }
  if (blockSize - blockPosition == kStreamBlock) {
    // One line fills the buffer, from its front: it is cut to what its
    // statement needs, so that the buffer never grows.
    Compact();
  } else if (blockPosition > 0) {
    std::memmove(buffer.get(), block + blockPosition, blockSize - blockPosition);
    blockSize -= blockPosition;
  }
  block = buffer.get();
  blockPosition = 0;
  const std::size_t got = read(context, buffer.get() + blockSize, kStreamBlock - blockSize, &sourceError);
  blockSize += got;
  // The bytes delivered with an error are still read; the error ends the
  // source where they end.
  if (got == 0 && sourceError) readError = true;
  return got;
}

void SourceReader::Compact() {
  char* const line = buffer.get();
  const std::size_t size = blockSize;
  line[size] = '\n';
  std::vector<Shift> kept;
  std::size_t keptSize = 0;
  std::size_t from = 0;  // the bytes before it are kept or dropped
  // Moves the bytes from begin to end behind those kept, in pieces that each
  // lay in one run of the line as read.
  const auto keep = [&](std::size_t begin, std::size_t end) {
    for (begin = std::max(begin, from); begin < end;) {
      std::size_t pieceEnd = end;
      for (const Shift& shift : shifts) {
        if (shift.at > begin) {
          pieceEnd = std::min(end, shift.at);
          break;
        }
      }
      const std::size_t delta = InLine(begin) - keptSize;
      if (kept.empty() || kept.back().delta != delta) kept.push_back({keptSize, delta});
      std::memmove(line + keptSize, line + begin, pieceEnd - begin);
      keptSize += pieceEnd - begin;
      begin = pieceEnd;
    }
    from = std::max(from, end);
  };
  // The statement's four tokens, as ReadStatement will find them.
  Tokenizer ST(line);
  std::size_t stop = size;
  for (std::size_t i = 0; i <= kStatementTokens; ++i) {
    const Token token = ST.NextToken();
    if (token.length == 0) {
      stop = token.start;
      break;
    }
    keep(token.start > 0 ? token.start - 1 : 0, token.start + std::min(token.length, kTokenSlotSize - 1));
    keep(token.start + token.length - 1, token.start + token.length);
    stop = token.start + token.length;
  }
  const std::size_t last = std::min(stop, size - 1);
  keep(last, last + 1);
  shifts.swap(kept);
  blockSize = keptSize;
  blockPosition = 0;
}

std::size_t SourceReader::InLine(std::size_t at) const {
  std::size_t delta = 0;
  for (const Shift& shift : shifts) {
    if (shift.at > at) break;
    delta = shift.delta;
  }
  return at + delta;
}

void SourceReader::PlaceInLine(Statement* out, std::int32_t count) {
  const auto place = [this](TokenPlace& token) {
    const auto start = static_cast<std::size_t>(token.column - 1);
    const std::size_t first = InLine(start);
    // The last byte of a token is always kept.
    const std::size_t end = InLine(start + static_cast<std::size_t>(token.length) - 1) + 1;
    token = {static_cast<std::int32_t>(first) + 1, static_cast<std::int32_t>(end - first)};
  };
  for (std::int32_t i = 0; i < count; ++i) place(out->places[i]);
  if (out->ignored.column != 0) place(out->ignored);
  shifts.clear();
}

const char* SourceReader::NextLine() {
  // Bytes at the start of the rest of the block known to hold no line feed.
  std::size_t searched = 0;
  for (;;) {
    const char* const rest = block + blockPosition;
    const std::size_t left = blockSize - blockPosition;
    const auto* const lineFeed =
        left > searched ? static_cast<const char*>(std::memchr(rest + searched, '\n', left - searched)) : nullptr;
    if (lineFeed != nullptr) {
      blockPosition += static_cast<std::size_t>(lineFeed - rest) + 1;
      readableEnd = block + blockSize;
      return rest;
    }
    const std::size_t got = Refill();
    if (got == 0) break;
    searched = blockSize - got;
  }
  if (readError || blockPosition == blockSize) return nullptr;
  // The last line lacks its line feed: it is read from a copy that has one.
  lastLine.assign(block + blockPosition, blockSize - blockPosition);
  lastLine += '\n';
  blockPosition = blockSize;
  readableEnd = lastLine.data() + lastLine.size();
  return lastLine.c_str();
}

void SourceReader::ReadStatement(Statement* out) {
  if (out == nullptr) return;
  std::int32_t count = 0;
  while (const char* const line = NextLine()) {
    ++lineNumber;
    out->ignored = {0, 0};
    Tokenizer ST(line);
    for (Token token = ST.NextToken(); token.length > 0; token = ST.NextToken()) {
      const TokenPlace place{static_cast<std::int32_t>(token.start) + 1, static_cast<std::int32_t>(token.length)};
      // A fourth token is only placed; nothing after it matters.
      if (count == static_cast<std::int32_t>(kStatementTokens)) {
        out->ignored = place;
        break;
      }
      char* const slot = out->tokens[count];
      const char* const text = line + token.start;
      const std::size_t kept = std::min(token.length, kTokenSlotSize - 1);
      // Most tokens are short: with eight bytes to read from its start, one
      // fixed move copies such a token, and the NUL ends it.
      if (kept < kShortMove && readableEnd - text >= static_cast<std::ptrdiff_t>(kShortMove)) {
        std::memcpy(slot, text, kShortMove);
      } else {
        std::memcpy(slot, text, kept);
      }
      slot[kept] = '\0';
      out->places[count] = place;
      ++count;
    }
    // A compacted line's places were taken in what was kept of it.
    if (!shifts.empty()) PlaceInLine(out, count);
    if (count > 0) break;
  }
  out->count = count;
}

}  // namespace mirvo
