#include "SourceReader.h"

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

void CopyToken(char* slot, const char* token) {
  std::strncpy(slot, token, kTokenSlotSize - 1);
  slot[kTokenSlotSize - 1] = '\0';
}

void AppendToken(char* slot, const char* token) {
  const std::size_t used = std::strlen(slot);
  std::strncat(slot, token, kTokenSlotSize - 1 - used);
}

// Takes the tokens of one piece of a physical line into out. A token that
// runs into the end of a piece may go on in the next one: continuing says so
// on entry and is set for the next piece on return. finished is set once the
// rest of the line can no longer add a token: a comment, a NUL byte (text
// ends there) or three whole tokens.
void TakeTokens(const char* line, std::size_t size, Statement& out, bool& continuing, bool& finished) {
  const std::size_t textLength = std::strlen(line);
  const bool hasComment = std::memchr(line, kCommentChar, textLength) != nullptr;
  bool joinFirst = continuing && textLength > 0 && !IsDelimiter(line[0]) && line[0] != kCommentChar;
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
      AppendToken(out.tokens[out.count - 1], token);
      joinFirst = false;
    } else {
      CopyToken(out.tokens[out.count++], token);
    }
    continuing = !ST.HasMore() && !hasComment;
  }
  if (hasComment || textLength < size) finished = true;
}

}  // namespace

SourceReader::SourceReader(const char* path) : file(std::fopen(path, "r")) {}

SourceReader::SourceReader(std::FILE* stream) : file(stream) {}

SourceReader::PieceEnd SourceReader::ReadPiece(char* line, std::size_t& size) {
  size = 0;
  std::FILE* const stream = file.get();
  while (size < kPieceLimit) {
    const int ch = getc_unlocked(stream);
    if (ch == EOF) {
      if (std::ferror(stream)) readError = true;
      line[size] = '\0';
      return PieceEnd::kFileEnd;
    }
    line[size++] = static_cast<char>(ch);
    if (ch == '\n') {
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
