#include "CheckPages.h"

#include <cstring>

namespace mirvo::cli {

namespace {

constexpr std::size_t kTextWidth = 76;
constexpr const char* kIndent = "    ";

// text wrapped at kTextWidth columns, each line indented.
std::string Wrap(const std::string& text, const char* indent) {
  std::string out;
  std::string line = indent;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (line.size() > std::strlen(indent) && line.size() + 1 + word.size() > kTextWidth) {
      out += line + "\n";
      line = indent;
    }
    if (line.size() > std::strlen(indent)) line += ' ';
    line += word;
    start = end + 1;
  }
  return out + line + "\n";
}

// Each line of text indented.
std::string Indent(const char* text) {
  std::string out;
  for (const char* line = text; *line != '\0';) {
    const char* end = std::strchr(line, '\n');
    if (end == nullptr) end = line + std::strlen(line);
    out += std::string(kIndent) + std::string(line, end) + "\n";
    line = *end == '\n' ? end + 1 : end;
  }
  return out;
}

// Text for roff: a backslash and a minus sign are escaped, and a line that
// would start with a control character is protected.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (const char ch : text) {
    if (lineStart && (ch == '.' || ch == '\'')) out += "\\&";
    if (ch == '\\') {
      out += "\\e";
    } else if (ch == '-') {
      out += "\\-";
    } else {
      out += ch;
    }
    lineStart = ch == '\n';
  }
  return out;
}

}  // namespace

std::string CheckPageText(const CheckRow& row) {
  std::string page = std::string(row.name) + ": " + row.summary + "\n\n";
  page += Wrap(row.meaning, "") + "\n";
  page += "Example:\n" + Indent(row.example) + "\n";
  page += "How to fix it:\n" + Wrap(row.fix, kIndent) + "\n";
  page += "How to turn it off:\n" + Wrap(HowToTurnOff(row), kIndent);
  return page;
}

std::string CheckListText() {
  std::string list;
  std::size_t width = 0;
  for (const CheckRow& row : kCheckTable) width = std::max(width, std::strlen(row.name));
  for (const CheckRow& row : kCheckTable) {
    list += std::string(row.name) + std::string(width + 2 - std::strlen(row.name), ' ') + row.summary + "\n";
  }
  return list;
}

std::string ChecksManualPage(const CheckRow* only) {
  std::string page = ".TH MIRVO-CHECKS 7 \"December 2026\" \"mirvo 1.0\" \"MirvoVM toolchain\"\n";
  page += ".SH NAME\nmirvo-checks \\- the likely mistakes that mirvo run watches for\n";
  page += ".SH DESCRIPTION\n";
  page +=
      ".B mirvo run\nwatches every run for mistakes that the assembler cannot see and reports each\n"
      "one once per statement, as a warning on standard error:\n"
      ".IR file : line : column :\n.B warning:\n.I message\n"
      ".RB [ \\-W\\fIid\\fP ],\n"
      "followed by the source line and a caret under the statement.\n"
      "With\n.BR \\-\\-json ,\nthe summary lists them under\n.BR checks .\n"
      "The checks never change the outcome of a run or its exit status.\n";
  page +=
      ".PP\n"
      ".BI \\-Wno\\- id\nturns one check off,\n.B \\-Wno\\-checks\nall of them.\n"
      "A statement that means what it does says so in the comment on its own line,\n"
      "\\(dq; " +
      Roff(std::string(kAllowMarker)) +
      " \\fIid\\fR[, \\fIid\\fR ...]\\(dq,\n"
      "and the checks it names are quiet there.\n";
  page += ".PP\n.B mirvo explain\n.I id\nprints the section of one check below.\n";
  page += ".SH CHECKS\n";
  for (const CheckRow& row : kCheckTable) {
    if (only != nullptr && &row != only) continue;
    page += ".SS \"" + Roff(row.name) + " \\(em " + Roff(row.summary) + "\"\n";
    page += Roff(row.meaning) + "\n";
    page += ".PP\n.I Example:\n.PP\n.RS 4\n.EX\n" + Roff(row.example) + ".EE\n.RE\n";
    page += ".PP\n.I How to fix it:\n" + Roff(row.fix) + "\n";
    page += ".PP\n.I How to turn it off:\n" + Roff(HowToTurnOff(row)) + "\n";
  }
  page += ".SH SEE ALSO\n.BR mirvo (1)\n";
  return page;
}

}  // namespace mirvo::cli
