// mirvo test's report writers given names of any bytes. The input splits at
// its zero bytes into two file names, a case name and a reason a program
// could not run; two programs are graded (one refused for that reason, one
// run and checked) on an exercise of that case and a hidden one.
// Invariants, each format checked by a reader of its own here:
// - text and the summary: UTF-8 with no control character but line feeds,
//   one line per program and case, none forged by a name;
// - JSON: each line parses (strictly UTF-8), and two different names
//   without backslashes stay two different strings;
// - JUnit: well-formed XML 1.0: only characters XML allows, balanced
//   elements, attribute values quoted, every & an entity;
// - TAP: the plan's count of test points, every YAML value an integer or a
//   double-quoted scalar of printable characters;
// - CSV: one record per program, as many cells as the header, no cell that
//   starts as a formula;
// - Gradescope: a JSON object.
// And the one UTF-8 reading: a valid sequence is its code point's shortest
// encoding, never a surrogate, never past 10FFFFh.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "Report.h"
#include "TextEscape.h"

namespace {

using namespace mirvo;
using mirvo::cli::GradedFile;

std::string Encode(char32_t c) {
  const auto byte = [](unsigned value) { return static_cast<char>(value); };
  if (c < 0x80) return std::string(1, byte(c));
  if (c < 0x800) return {byte(0xC0 | c >> 6), byte(0x80 | (c & 0x3F))};
  if (c < 0x10000) return {byte(0xE0 | c >> 12), byte(0x80 | (c >> 6 & 0x3F)), byte(0x80 | (c & 0x3F))};
  return {byte(0xF0 | c >> 18), byte(0x80 | (c >> 12 & 0x3F)), byte(0x80 | (c >> 6 & 0x3F)), byte(0x80 | (c & 0x3F))};
}

void CheckUtf8Reading(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    char32_t c = 0;
    const std::size_t length = Utf8SequenceAt(text, at, c);
    if (length == 0) continue;
    FUZZ_CHECK(c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF));
    FUZZ_CHECK(text.substr(at, length) == Encode(c));
  }
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    FUZZ_CHECK(end != std::string_view::npos);  // every line ends
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

// UTF-8 whose every character is printable: no C0 (but line feeds), DEL,
// C1, U+FFFE or U+FFFF.
void CheckPrintable(std::string_view text) {
  FUZZ_CHECK(IsValidUtf8(text));
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    at += Utf8SequenceAt(text, at, c);
    FUZZ_CHECK(c == '\n' || (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != 0xFFFE && c != 0xFFFF));
  }
}

void CheckText(const std::string& report, std::size_t programs) {
  CheckPrintable(report);
  std::size_t heads = 0;
  for (const std::string_view line : Lines(report)) heads += line.substr(0, 2) == "  " ? 0 : 1;
  FUZZ_CHECK(heads == programs + 1);  // a line per program and the count; the cases' lines are indented
}

void CheckJson(const std::string& report, const std::vector<GradedFile>& graded) {
  const std::vector<std::string_view> lines = Lines(report);
  FUZZ_CHECK(lines.size() == graded.size());
  std::vector<std::string> files;
  for (const std::string_view line : lines) {
    const nlohmann::json row = nlohmann::json::parse(line, nullptr, false);
    FUZZ_CHECK(!row.is_discarded() && row["file"].is_string());
    files.push_back(row["file"].get<std::string>());
  }
  const std::string& a = graded[0].file;
  const std::string& b = graded[1].file;
  if (a != b && a.find('\\') == std::string::npos && b.find('\\') == std::string::npos) {
    FUZZ_CHECK(files[0] != files[1]);
  }
  if (IsValidUtf8(a)) FUZZ_CHECK(files[0] == a);
}

// XML 1.0 as this report writes it: a declaration, then elements with
// double-quoted attributes and text, balanced.
void CheckXml(const std::string& report) {
  FUZZ_CHECK(IsValidUtf8(report));
  for (std::size_t at = 0; at < report.size();) {
    char32_t c = 0;
    at += Utf8SequenceAt(report, at, c);
    FUZZ_CHECK(c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF));
  }
  const auto checkEntities = [](std::string_view text) {
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
      const std::string_view rest = text.substr(amp);
      bool known = false;
      for (const char* entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
        known = known || rest.starts_with(entity);
      }
      FUZZ_CHECK(known);
    }
  };
  std::string_view text = report;
  FUZZ_CHECK(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
  text.remove_prefix(text.find('\n') + 1);
  std::vector<std::string_view> open;
  while (!text.empty()) {
    const std::size_t lt = text.find('<');
    checkEntities(text.substr(0, lt));
    if (lt == std::string_view::npos) break;
    FUZZ_CHECK(text.substr(0, lt).find('>') == std::string_view::npos);
    text.remove_prefix(lt + 1);
    const bool closing = text.starts_with("/");
    if (closing) text.remove_prefix(1);
    const std::size_t nameEnd = text.find_first_of(" />");
    FUZZ_CHECK(nameEnd != std::string_view::npos && nameEnd > 0);
    const std::string_view name = text.substr(0, nameEnd);
    text.remove_prefix(nameEnd);
    // Attributes: name="value", the value without < or ".
    while (text.starts_with(" ")) {
      const std::size_t equals = text.find("=\"");
      FUZZ_CHECK(equals != std::string_view::npos &&
                 text.substr(1, equals - 1).find_first_of(" <>\"") == std::string_view::npos);
      text.remove_prefix(equals + 2);
      const std::size_t quote = text.find('"');
      FUZZ_CHECK(quote != std::string_view::npos && text.substr(0, quote).find('<') == std::string_view::npos);
      checkEntities(text.substr(0, quote));
      text.remove_prefix(quote + 1);
    }
    if (text.starts_with("/>")) {
      FUZZ_CHECK(!closing);
      text.remove_prefix(2);
      continue;
    }
    FUZZ_CHECK(text.starts_with(">"));
    text.remove_prefix(1);
    if (closing) {
      FUZZ_CHECK(!open.empty() && open.back() == name);
      open.pop_back();
    } else {
      open.push_back(name);
    }
  }
  FUZZ_CHECK(open.empty());
}

// A double-quoted YAML scalar: printable characters, \ only before " or \.
bool IsYamlString(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
  value = value.substr(1, value.size() - 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') return false;
    if (value[i] == '\\' && (++i == value.size() || (value[i] != '"' && value[i] != '\\'))) return false;
  }
  CheckPrintable(value);
  return value.find('\n') == std::string_view::npos;
}

void CheckTap(const std::string& report, std::size_t points) {
  const std::vector<std::string_view> lines = Lines(report);
  FUZZ_CHECK(lines.size() >= 2 && lines[0] == "TAP version 13" && lines[1] == "1.." + std::to_string(points));
  std::size_t seen = 0;
  bool inBlock = false;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    CheckPrintable(line);
    if (inBlock) {
      if (line == "  ...") {
        inBlock = false;
        continue;
      }
      const std::size_t colon = line.find(": ");
      FUZZ_CHECK(line.starts_with("  ") && colon != std::string_view::npos);
      const std::string_view value = line.substr(colon + 2);
      FUZZ_CHECK(IsYamlString(value) || value.find_first_not_of("0123456789fail") == std::string_view::npos);
      continue;
    }
    if (line == "  ---") {
      inBlock = true;
      continue;
    }
    const std::string prefix = std::to_string(++seen) + " - ";
    FUZZ_CHECK((line.starts_with("ok ") && line.substr(3).starts_with(prefix)) ||
               (line.starts_with("not ok ") && line.substr(7).starts_with(prefix)));
    // No # but an escaped one: no name starts a directive.
    for (std::size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
      std::size_t slashes = 0;
      while (slashes < hash && line[hash - 1 - slashes] == '\\') ++slashes;
      FUZZ_CHECK(slashes % 2 == 1);
    }
  }
  FUZZ_CHECK(seen == points && !inBlock);
}

// RFC 4180 records: quoted cells with "" for a quote, or bare ones.
void CheckCsv(const std::string& report, std::size_t programs, std::size_t cells) {
  FUZZ_CHECK(IsValidUtf8(report));
  std::size_t records = 0;
  std::size_t at = 0;
  while (at < report.size()) {
    std::size_t count = 0;
    for (bool more = true; more;) {
      std::string cell;
      if (report[at] == '"') {
        for (++at;; ++at) {
          FUZZ_CHECK(at < report.size());
          if (report[at] == '"' && (at + 1 == report.size() || report[at + 1] != '"')) break;
          if (report[at] == '"') ++at;
          cell += report[at];
        }
        ++at;
      } else {
        const std::size_t end = report.find_first_of(",\r\n\"", at);
        FUZZ_CHECK(end != std::string::npos && report[end] != '"');
        cell = report.substr(at, end - at);
        at = end;
      }
      FUZZ_CHECK(cell.empty() || std::string_view("=+-@\t\r").find(cell.front()) == std::string_view::npos);
      ++count;
      FUZZ_CHECK(at < report.size());
      more = report[at] == ',';
      if (more) ++at;
    }
    FUZZ_CHECK(report.compare(at, 2, "\r\n") == 0);
    at += 2;
    FUZZ_CHECK(count == cells);
    ++records;
  }
  FUZZ_CHECK(records == programs + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckUtf8Reading(input);
  std::vector<std::string> parts;
  for (std::size_t start = 0; parts.size() < 4;) {
    const std::size_t end = input.find('\0', start);
    parts.emplace_back(input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    start = end == std::string_view::npos ? input.size() : end + 1;
  }

  Exercise exercise;
  exercise.title = parts[2];
  exercise.maxSteps = 100;
  exercise.leaderboard = true;
  ExerciseCase named;
  named.name = parts[2];
  named.expected.push_back({ExpectKind::kRegister, kRegA, 0, 5});
  named.expected.push_back({});  // halt
  ExerciseCase hidden = named;
  hidden.name = parts[3];
  hidden.hidden = true;
  exercise.cases = {named, hidden};

  // ADD B, then the run goes past the end: checks and mismatches in each case.
  std::vector<GradedFile> graded(2);
  graded[0].file = parts[0];
  graded[0].grade = GradeRefused(exercise, parts[3], parts[3]);
  graded[1].file = parts[1];
  graded[1].grade = GradeProgram(exercise, Program::FromSource("", "ADD B\n"));
  graded[1].shape = graded[0].shape = "same";

  for (const bool showHidden : {false, true}) {
    CheckText(cli::TextReport(exercise, graded, showHidden), graded.size());
    CheckPrintable(cli::SummaryReport(exercise, graded, showHidden));
    CheckJson(cli::JsonReport(exercise, graded, showHidden), graded);
    CheckXml(cli::JunitReport(exercise, graded, showHidden));
    CheckTap(cli::TapReport(exercise, graded, showHidden, 13), graded.size() * exercise.cases.size());
  }
  CheckCsv(cli::CsvReport(exercise, graded), graded.size(), 3 + exercise.cases.size());
  for (const GradedFile& one : graded) {
    FUZZ_CHECK(nlohmann::json::parse(cli::GradescopeReport(exercise, one), nullptr, false).is_object());
  }
  return 0;
}
