#include "SourceReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

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
      buffer(new char[kStreamBlock]),
      capacity(kStreamBlock),
      block(buffer.get()) {}

bool SourceReader::Refill() {
  if (read == nullptr) return false;
  if (sourceError) {
    readError = true;
    return false;
  }
  const std::size_t rest = blockSize - blockPosition;
  if (rest == capacity) {
    // One line fills the buffer: a larger one takes it over.
    auto larger = std::unique_ptr<char[]>(new char[2 * capacity]);
    std::memcpy(larger.get(), block + blockPosition, rest);
    buffer = std::move(larger);
    capacity *= 2;
  } else if (blockPosition > 0) {
    std::memmove(buffer.get(), block + blockPosition, rest);
  }
  block = buffer.get();
  blockPosition = 0;
  const std::size_t got = read(context, buffer.get() + rest, capacity - rest, &sourceError);
  blockSize = rest + got;
  // The bytes delivered with an error are still read; the error ends the
  // source where they end.
  if (got == 0 && sourceError) readError = true;
  return got > 0;
}

const char* SourceReader::NextLine() {
  // Bytes at the start of the rest of the block known to hold no line feed.
  std::size_t searched = 0;
  do {
    const char* const rest = block + blockPosition;
    const std::size_t left = blockSize - blockPosition;
    const auto* const lineFeed =
        left > searched ? static_cast<const char*>(std::memchr(rest + searched, '\n', left - searched)) : nullptr;
    if (lineFeed != nullptr) {
      blockPosition += static_cast<std::size_t>(lineFeed - rest) + 1;
      readableEnd = block + blockSize;
      return rest;
    }
    searched = left;
  } while (Refill());
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
    if (count > 0) break;
  }
  out->count = count;
}

}  // namespace mirvo
