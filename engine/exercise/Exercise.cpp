#include "Exercise.h"

// toml++ is used without exceptions and without its writers, so that this
// file compiles the same way natively and for the page (-fno-exceptions).
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#define TOML_HEADER_ONLY 1
#include <toml++/toml.h>

#include <initializer_list>
#include <map>

namespace mirvo {

unsigned Exercise::MaxScore() const {
  unsigned total = 0;
  for (const ExerciseCase& c : cases) total += c.points;
  return total;
}

namespace {

struct Place {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  bool operator<(const Place& other) const {
    return line != other.line ? line < other.line : column < other.column;
  }
};

Place PlaceOf(const toml::source_position& position) {
  return {position.line == 0 ? 1 : position.line, position.column == 0 ? 1 : position.column};
}

bool IsContinuationByte(char ch) { return (static_cast<unsigned char>(ch) & 0xC0U) == 0x80U; }

// The byte offset of a line and column (in characters) of text.
std::size_t OffsetOf(std::string_view text, Place place) {
  std::size_t at = 0;
  for (std::uint32_t line = 1; line < place.line && at < text.size(); ++at) {
    if (text[at] == '\n') ++line;
  }
  for (std::uint32_t column = 1; column < place.column && at < text.size();) {
    ++at;
    while (at < text.size() && IsContinuationByte(text[at])) ++at;
    ++column;
  }
  return at;
}

Place PlaceAt(std::string_view text, std::size_t offset) {
  Place place;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++place.line;
      place.column = 1;
    } else if (!IsContinuationByte(text[i])) {
      ++place.column;
    }
  }
  return place;
}

std::size_t Utf8Length(unsigned long codepoint) {
  return codepoint < 0x80 ? 1 : codepoint < 0x800 ? 2 : codepoint < 0x10000 ? 3 : 4;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

// Where byte `decoded` of a string value stands in the file: walks the
// string as written (any of TOML's four quotings, with escapes, trimmed
// first line ends and line-ending backslashes) from the value's start.
Place PlaceInString(std::string_view file, Place value, std::uint32_t decoded) {
  std::size_t at = OffsetOf(file, value);
  const std::string_view rest = file.substr(at);
  const bool basic = !rest.empty() && rest.front() == '"';
  const bool multiline = rest.substr(0, 3) == "\"\"\"" || rest.substr(0, 3) == "'''";
  if (rest.empty() || (rest.front() != '"' && rest.front() != '\'')) return value;
  at += multiline ? 3 : 1;
  if (multiline && file.substr(at, 1) == "\n") at += 1;
  if (multiline && file.substr(at, 2) == "\r\n") at += 2;
  std::size_t done = 0;
  while (at < file.size()) {
    const char ch = file[at];
    if (basic && multiline && ch == '\\' && at + 1 < file.size() && IsBlank(file[at + 1])) {
      // A line-ending backslash swallows the white space after it.
      ++at;
      while (at < file.size() && IsBlank(file[at])) ++at;
      continue;
    }
    if (done >= decoded) break;
    if (basic && ch == '\\' && at + 1 < file.size()) {
      const char next = file[at + 1];
      const std::size_t digits = next == 'u' ? 4 : next == 'U' ? 8 : 0;
      if (digits > 0) {
        unsigned long codepoint = 0;
        for (std::size_t i = 0; i < digits && at + 2 + i < file.size(); ++i) {
          const char d = file[at + 2 + i];
          codepoint = codepoint * 16 + static_cast<unsigned long>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
        }
        done += Utf8Length(codepoint);
        at += 2 + digits;
        continue;
      }
      done += 1;
      at += 2;
      continue;
    }
    done += 1;
    at += ch == '\r' && file.substr(at, 2) == "\r\n" ? 2U : 1U;
  }
  return PlaceAt(file, at);
}

// Collects the mistakes of a file and keeps the one that comes first in it.
class Checker {
 public:
  explicit Checker(std::string_view file) : file(file) {}

  void Fail(Place place, std::string message) {
    if (failed && !(place < first)) return;
    failed = true;
    first = place;
    text = std::move(message);
  }
  void Fail(const toml::source_region& region, std::string message) { Fail(PlaceOf(region.begin), std::move(message)); }

  bool Failed() const { return failed; }
  ExerciseError Error() const { return {first.line, first.column, text}; }

  // Keys other than those named are mistakes.
  void OnlyKeys(const toml::table& table, std::initializer_list<std::string_view> keys, const char* where) {
    for (auto&& [key, node] : table) {
      bool known = false;
      for (const std::string_view name : keys) known = known || key.str() == name;
      if (!known) Fail(key.source(), "unknown key '" + std::string(key.str()) + "'" + where);
    }
  }

  // A string value; absent is left as it was unless required.
  void String(const toml::table& table, std::string_view key, std::string& out, bool required, Place owner,
              const char* owned) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
      if (required) Fail(owner, std::string(owned) + " has no '" + std::string(key) + "'");
      return;
    }
    if (!node->is_string()) {
      Fail(node->source(), "'" + std::string(key) + "' must be a string in quotes");
      return;
    }
    out = node->as_string()->get();
  }

  // A whole number from low to high.
  void Integer(const toml::table& table, std::string_view key, std::int64_t low, std::int64_t high,
               std::int64_t& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) return;
    if (!node->is_integer() || node->as_integer()->get() < low || node->as_integer()->get() > high) {
      Fail(node->source(), "'" + std::string(key) + "' must be a whole number from " + std::to_string(low) + " to " +
                               std::to_string(high));
      return;
    }
    out = node->as_integer()->get();
  }

  // A state text, read with the state syntax; its mistakes are placed
  // inside the string.
  void State(const toml::table& table, std::string_view key, StateRole role, std::vector<Expectation>& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr || !node->is_string()) return;
    SyntaxError error;
    if (ParseState(node->as_string()->get(), role, out, error) != 0) {
      Fail(PlaceInString(file, PlaceOf(node->source().begin), error.offset), "'" + std::string(key) + "': " + error.message);
    }
  }

 private:
  std::string_view file;
  bool failed = false;
  Place first;
  std::string text;
};

}  // namespace

int ParseExercise(std::string_view text, Exercise& exercise, ExerciseError& error) {
  exercise = Exercise{};
  toml::parse_result parsed = toml::parse(text);
  if (!parsed) {
    error = {PlaceOf(parsed.error().source().begin).line, PlaceOf(parsed.error().source().begin).column,
             std::string(parsed.error().description())};
    return 1;
  }
  const toml::table& root = parsed.table();
  Checker check(text);
  check.OnlyKeys(root, {"title", "text", "starter", "max_steps", "max_bytes", "case"},
                 ": an exercise has title, text, starter, max_steps, max_bytes and [[case]] tables");
  check.String(root, "title", exercise.title, true, {}, "the exercise");
  if (const toml::node* title = root.get("title"); title != nullptr && title->is_string() && exercise.title.empty()) {
    check.Fail(title->source(), "'title' is empty");
  }
  check.String(root, "text", exercise.text, true, {}, "the exercise");
  check.String(root, "starter", exercise.starter, false, {}, "the exercise");
  std::int64_t maxSteps = static_cast<std::int64_t>(kStepLimit);
  check.Integer(root, "max_steps", 1, static_cast<std::int64_t>(kStepLimit), maxSteps);
  exercise.maxSteps = static_cast<std::uint64_t>(maxSteps);
  std::int64_t maxBytes = kMemorySize;
  check.Integer(root, "max_bytes", 1, kMemorySize, maxBytes);
  exercise.maxBytes = static_cast<std::uint32_t>(maxBytes);

  const toml::node* cases = root.get("case");
  if (cases == nullptr) {
    check.Fail(Place{}, "the exercise has no case: add one with [[case]]");
  } else if (!cases->is_array_of_tables() || cases->as_array()->empty()) {
    check.Fail(cases->source(), "'case' must be tables written [[case]]");
  } else {
    std::map<std::string, std::uint32_t> lineOfName;
    for (const toml::node& element : *cases->as_array()) {
      const toml::table& table = *element.as_table();
      const Place header = PlaceOf(table.source().begin);
      ExerciseCase c;
      check.OnlyKeys(table, {"name", "given", "expect", "points", "hidden"},
                     " in a case: a case has name, given, expect, points and hidden");
      check.String(table, "name", c.name, true, header, "the case");
      std::string ignored;
      check.String(table, "given", ignored, false, header, "the case");
      check.String(table, "expect", ignored, true, header, "the case");
      check.State(table, "given", StateRole::kGiven, c.given);
      check.State(table, "expect", StateRole::kExpected, c.expected);
      std::int64_t points = 1;
      check.Integer(table, "points", 0, kMaxCasePoints, points);
      c.points = static_cast<unsigned>(points);
      if (const toml::node* hidden = table.get("hidden"); hidden != nullptr) {
        if (hidden->is_boolean()) {
          c.hidden = hidden->as_boolean()->get();
        } else {
          check.Fail(hidden->source(), "'hidden' must be true or false");
        }
      }
      if (const toml::node* name = table.get("name"); name != nullptr && name->is_string()) {
        const Place place = PlaceOf(name->source().begin);
        if (c.name.empty()) check.Fail(place, "'name' is empty");
        const auto [earlier, added] = lineOfName.emplace(c.name, place.line);
        if (!added) {
          check.Fail(place, "a case named '" + c.name + "' already stands on line " + std::to_string(earlier->second));
        }
      }
      // Every case expects the run to halt unless it names an outcome.
      bool namesOutcome = false;
      for (const Expectation& item : c.expected) namesOutcome = namesOutcome || item.kind == ExpectKind::kOutcome;
      if (!namesOutcome && !c.expected.empty()) c.expected.push_back(Expectation{});
      exercise.cases.push_back(std::move(c));
    }
  }
  if (check.Failed()) {
    error = check.Error();
    exercise = Exercise{};
    return 1;
  }
  return 0;
}

}  // namespace mirvo
