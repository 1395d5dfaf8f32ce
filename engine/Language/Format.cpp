#include "Format.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "Assembler.h"
#include "InstructionSet.h"
#include "SourceText.h"
#include "TextEncoding.h"

namespace mirvo {

namespace {

// One line cut into what formatting moves: the statement and the comment.
struct LineParts {
  bool verbatim = false;  // a line that is kept exactly as it is
  std::string code;       // the statement laid out, or empty
  std::string comment;    // from the semicolon on, without trailing blanks
};

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; }

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Token(std::string_view line, const TokenPlace& place) {
  return line.substr(static_cast<std::size_t>(place.column - 1), static_cast<std::size_t>(place.length));
}

LineParts Split(std::string_view line) {
  LineParts parts;
  // A NUL byte ends what the reader reads of a line: nothing to tidy there.
  if (line.find('\0') != std::string_view::npos) {
    parts.verbatim = true;
    return parts;
  }
  const std::size_t semicolon = line.find(';');
  const std::string_view code = line.substr(0, semicolon);
  if (semicolon != std::string_view::npos) parts.comment = TrimEnd(line.substr(semicolon));
  Statement statement;
  statement.count = 0;
  statement.ignored = {0, 0};
  SourceReader reader(code.data(), code.size());
  reader.ReadStatement(&statement);
  if (statement.count == 0) return parts;
  // The mnemonic in upper case when it is one (they are matched in any case).
  std::string mnemonic(Token(code, statement.places[0]));
  if (Assembler::FindOperation(statement.tokens[0], mnemonic.size()) != Operation::kUndefined) {
    for (char& ch : mnemonic) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  parts.code = mnemonic;
  for (std::int32_t i = 1; i < statement.count; ++i) {
    const std::string_view token = Token(code, statement.places[i]);
    parts.code += i == 1 ? " " : ", ";
    parts.code += IsMemWord(token) ? std::string_view(kRegisterNames[kRegM]) : token;
  }
  // What the statement ignores stays as written.
  if (statement.ignored.column != 0) {
    std::string_view rest = code.substr(static_cast<std::size_t>(statement.ignored.column - 1));
    parts.code += ", ";
    parts.code += TrimEnd(rest);
  }
  return parts;
}

}  // namespace

namespace {

std::string FormatLines(std::string_view text) {
  const SourceLines lines(text);
  std::vector<LineParts> parts;
  parts.reserve(lines.Count());
  std::size_t width = kStatementWidth;
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    parts.push_back(Split(lines.Line(i)));
    const LineParts& line = parts.back();
    if (!line.code.empty() && !line.comment.empty()) width = std::max(width, line.code.size() + 1);
  }
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    const LineParts& line = parts[i];
    if (line.verbatim) {
      out += lines.Line(i);
    } else {
      out += line.code;
      if (!line.code.empty() && !line.comment.empty()) out.append(width - line.code.size(), ' ');
      out += line.comment;
    }
    out += lines.LineEnd(i);
  }
  return out;
}

}  // namespace

std::string FormatSource(std::string_view text) {
  // A byte-order mark stays in front of the first line.
  const TextStart start = ReadTextStart(text);
  // A text in UTF-16 cannot be read, so it is not laid out either.
  if (start.mark == TextMark::kUtf16) return std::string(text);
  const std::size_t mark = start.mark == TextMark::kUtf8 ? start.length : 0;
  std::string lines = FormatLines(text.substr(mark));
  // A first token that starts with a mark's bytes, once its indentation is
  // gone, would start the text with a mark and be read as another text: one
  // space keeps it the token it was.
  if (mark == 0 && ReadTextStart(lines).mark != TextMark::kNone) lines.insert(0, " ");
  return std::string(text.substr(0, mark)) + lines;
}

}  // namespace mirvo
