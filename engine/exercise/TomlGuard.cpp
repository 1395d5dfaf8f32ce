#include "TomlGuard.h"

namespace mirvo {

namespace {

bool IsBareKeyCharacter(char ch) {
  return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-';
}

bool IsQuote(char ch) { return ch == '"' || ch == '\''; }

// Walks the text as toml++ does, with the same idea of where each string,
// comment, key and value starts and ends. Each step returns kGoOn, or
// kStop where toml++ reports a mistake at or before that point (nothing
// after it is read), or kRefused.
class Guard {
 public:
  enum Step { kGoOn, kStop, kRefused };

  Guard(std::string_view text, TomlRefusal& refusal) : text(text), refusal(refusal) {}

  Step Root() {
    std::size_t tableDepth = 0;  // the parts of the last table's name
    for (;;) {
      SkipBlanksAndLines();
      if (AtEnd()) return kGoOn;
      Step step = kStop;
      if (text[at] == '[') {
        step = Header(tableDepth);
      } else if (IsBareKeyCharacter(text[at]) || IsQuote(text[at])) {
        step = KeyValue(tableDepth);
      }
      if (step != kGoOn) return step;
      // The rest of the line: toml++ takes nothing there but a comment, or
      // the time of a date-time written with a space, neither of which can
      // hide a key.
      while (!AtEnd() && text[at] != '\n') ++at;
    }
  }

 private:
  bool AtEnd() const { return at >= text.size(); }
  char Next(std::size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : '\0'; }

  Step Refuse(std::size_t offset, std::string message) {
    refusal.offset = offset;
    refusal.message = std::move(message);
    return kRefused;
  }

  void SkipBlanks() {
    while (!AtEnd() && (text[at] == ' ' || text[at] == '\t')) ++at;
  }
  // Blanks, line ends and comments: what may stand between values of an
  // array, and between the lines of the file.
  void SkipBlanksAndLines() {
    for (;;) {
      SkipBlanks();
      if (AtEnd()) return;
      if (text[at] == '#') {
        while (!AtEnd() && text[at] != '\n') ++at;
      } else if (text[at] == '\n' || text[at] == '\r') {
        ++at;
      } else {
        return;
      }
    }
  }

  // A string, at its first quote, of any of TOML's four quotings.
  Step String(bool multilineAllowed) {
    const char quote = text[at];
    const bool multiline = Next(1) == quote && Next(2) == quote;
    if (multiline && !multilineAllowed) return kStop;
    at += multiline ? 3 : 1;
    while (!AtEnd()) {
      const char ch = text[at];
      if (ch == '\\' && quote == '"') {
        at += 2;
      } else if (ch == quote) {
        if (!multiline) {
          ++at;
          return kGoOn;
        }
        std::size_t run = 0;
        while (Next(run) == quote) ++run;
        if (run < 3) {
          at += run;
          continue;
        }
        // Up to two quotes before the closing three belong to the string.
        at += run;
        return run <= 5 ? kGoOn : kStop;
      } else if (ch == '\n' && !multiline) {
        return kStop;
      } else {
        ++at;
      }
    }
    return kStop;
  }

  // A key, bare or quoted parts joined by dots, at its first character;
  // parts receives how many it has.
  Step Key(std::size_t& parts) {
    const std::size_t start = at;
    parts = 0;
    for (;;) {
      if (IsBareKeyCharacter(Next())) {
        while (IsBareKeyCharacter(Next())) ++at;
      } else if (IsQuote(Next())) {
        if (const Step step = String(false); step != kGoOn) return step;
      } else {
        return kStop;
      }
      if (++parts > kMaxKeyParts) {
        return Refuse(start, "a dotted key has at most " + std::to_string(kMaxKeyParts) + " parts");
      }
      SkipBlanks();
      if (Next() != '.') return kGoOn;
      ++at;
      SkipBlanks();
    }
  }

  Step Deeper(std::size_t depth, std::size_t offset) {
    if (depth <= kMaxNesting) return kGoOn;
    return Refuse(offset,
                  "tables, arrays and the parts of dotted keys nest at most " + std::to_string(kMaxNesting) + " deep");
  }

  // [name] or [[name]]; depth receives the parts of its name.
  Step Header(std::size_t& depth) {
    const std::size_t start = at;
    ++at;
    const std::size_t beforeBlanks = at;
    SkipBlanks();
    // "[ [" is refused by toml++ itself.
    if (Next() == '[' && at > beforeBlanks) return kStop;
    // [[name]] opens an array of tables, one level more.
    const bool array = Next() == '[';
    if (array) {
      ++at;
      SkipBlanks();
    }
    if (AtEnd() || Next() == ']') return kStop;
    if (!IsBareKeyCharacter(Next()) && !IsQuote(Next())) {
      return Refuse(at, "a table's name must follow '[': letters, digits, _ and -, or a name in quotes");
    }
    if (const Step step = Key(depth); step != kGoOn) return step;
    if (array) ++depth;
    return Deeper(depth, start);
  }

  // KEY = VALUE, at the key, in a table depth deep.
  Step KeyValue(std::size_t depth) {
    const std::size_t start = at;
    std::size_t parts = 0;
    if (const Step step = Key(parts); step != kGoOn) return step;
    if (const Step step = Deeper(depth + parts, start); step != kGoOn) return step;
    SkipBlanks();
    if (Next() != '=') return kStop;
    ++at;
    SkipBlanks();
    return Value(depth + parts);
  }

  // A value, at its first character, depth deep.
  Step Value(std::size_t depth) {
    if (AtEnd()) return kStop;
    const char ch = text[at];
    if (IsQuote(ch)) return String(true);
    if (ch == '[') return Array(depth + 1);
    if (ch == '{') return InlineTable(depth + 1);
    if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == ']' || ch == '}' || ch == ',' || ch == '#') {
      return kStop;
    }
    // A number, a boolean or a date-time (which may hold a space): it runs
    // to what ends a value in an array or an inline table.
    while (!AtEnd()) {
      const char c = text[at];
      if (c == ',' || c == ']' || c == '}' || c == '#' || c == '\n' || c == '\r' || c == '[' || c == '{' ||
          IsQuote(c)) {
        break;
      }
      ++at;
    }
    return kGoOn;
  }

  Step Array(std::size_t depth) {
    const std::size_t start = at;
    if (const Step step = Deeper(depth, start); step != kGoOn) return step;
    ++at;
    bool afterValue = false;
    for (;;) {
      SkipBlanksAndLines();
      if (AtEnd()) return kStop;
      const char ch = text[at];
      if (ch == ']') {
        ++at;
        return kGoOn;
      }
      if (ch == ',') {
        if (!afterValue) return kStop;
        afterValue = false;
        ++at;
        continue;
      }
      if (afterValue) return kStop;
      if (ch == '}') return Refuse(at, "'}' where the array needs a value or ']'");
      if (const Step step = Value(depth); step != kGoOn) return step;
      afterValue = true;
    }
  }

  Step InlineTable(std::size_t depth) {
    const std::size_t start = at;
    if (const Step step = Deeper(depth, start); step != kGoOn) return step;
    ++at;
    bool afterPair = false;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) return kStop;
      const char ch = text[at];
      if (ch == '}') {
        ++at;
        return kGoOn;
      }
      if (ch == ',') {
        if (!afterPair) return kStop;
        afterPair = false;
        ++at;
        continue;
      }
      if (afterPair || (!IsBareKeyCharacter(ch) && !IsQuote(ch))) return kStop;
      if (const Step step = KeyValue(depth); step != kGoOn) return step;
      SkipBlanks();
      afterPair = true;
    }
  }

  std::string_view text;
  TomlRefusal& refusal;
  std::size_t at = 0;
};

}  // namespace

int GuardToml(std::string_view text, TomlRefusal& refusal) {
  Guard guard(text, refusal);
  return guard.Root() == Guard::kRefused ? 1 : 0;
}

}  // namespace mirvo
