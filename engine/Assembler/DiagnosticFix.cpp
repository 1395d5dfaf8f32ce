#include "DiagnosticFix.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "Assembler.h"
#include "Diagnostic.h"

namespace mirvo {

namespace {

bool IsValidNumber(const std::string& text) {
  std::uint8_t value = 0;
  return ReadImmediate(text.c_str(), value) == ImmediateStatus::kValid;
}

// True when text is a number of the language from 0 to highest, or for a
// byte (highest FFh) any immediate, -80h included: value receives it.
bool Fits(const std::string& text, std::uint32_t highest, std::uint32_t& value) {
  if (highest == 0xFF) {
    std::uint8_t byte = 0;
    if (ReadImmediate(text.c_str(), byte) != ImmediateStatus::kValid) return false;
    value = byte;
    return true;
  }
  bool negative = false;
  return ReadNumber(text.c_str(), negative, value) && !negative && value <= highest;
}

// A register letter as written, or Mem: what MOV copies.
bool NamesRegisterOrMem(const char* token) {
  return (token[0] != '\0' && token[1] == '\0' && RegisterCodeOfLetter(token[0]) >= 0) || IsMemWord(token);
}

Fix At(const Diagnostic& d, const TokenPlace& place, std::string text, std::string title) {
  return Fix{d.line, place.column, place.length, std::move(text), std::move(title)};
}

// The diagnostic's own token, if it was kept whole.
bool TokenWhole(const Diagnostic& d) { return d.length == static_cast<std::int32_t>(std::strlen(d.token)); }

void AddNumberFixes(Diagnostic& d, const Statement& statement) {
  const TokenPlace place{d.column, d.length};
  // MVI A, B: copying a register is MOV's work (B may also be a number).
  if (statement.count == 3 && NamesRegisterOrMem(d.token)) {
    d.fixes.push_back(
        At(d, statement.places[0], RowOf(Operation::kMov).mnemonic, std::string("write MOV to copy ") + d.token));
  }
  if (d.reading == TokenReading::kUpperCaseH) {
    const std::string lower = std::string(d.token, std::strlen(d.token) - 1) + "h";
    if (IsValidNumber(lower)) d.fixes.push_back(At(d, place, lower, "write " + lower));
    return;
  }
  if (d.reading != TokenReading::kDigitsWithoutH) return;
  const NumberReadings readings = ReadNumberWithoutH(d.token);
  if (!readings.decimal.empty() && !readings.hexadecimal.empty()) {
    const std::string digits = d.token;
    d.fixes.push_back(
        At(d, place, readings.decimal, "write " + readings.decimal + ", if decimal " + digits + " was meant"));
    d.fixes.push_back(At(d, place, readings.hexadecimal,
                         "write " + readings.hexadecimal + ", if hexadecimal " + digits + " was meant"));
    return;
  }
  const std::string& only = readings.decimal.empty() ? readings.hexadecimal : readings.decimal;
  if (!only.empty()) d.fixes.push_back(At(d, place, only, "write " + only));
}

void AddRegisterFixes(Diagnostic& d) {
  const TokenPlace place{d.column, d.length};
  if (d.reading == TokenReading::kMemLetter) {
    d.fixes.push_back(At(d, place, kRegisterNames[kRegM], std::string("write ") + kRegisterNames[kRegM]));
  } else if (d.reading == TokenReading::kLowerCaseRegister) {
    const std::string upper(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.token[0]))));
    d.fixes.push_back(At(d, place, upper, "write " + upper));
  }
}

// MOV A, 5h reads the byte at HL; MVI loads the number.
void AddLoadFix(Diagnostic& d, const Statement& statement) {
  const bool isSource = statement.count == 3 && d.column == statement.places[2].column;
  if (!isSource || !NamesRegisterOrMem(statement.tokens[1]) || !IsValidNumber(d.token)) return;
  d.fixes.push_back(At(d, statement.places[0], RowOf(Operation::kMvi).mnemonic,
                       std::string("write MVI to load the number ") + d.token));
}

// MOV A, B, C: what follows the last operand goes.
void AddRemovalFix(Diagnostic& d, const Statement& statement) {
  if (statement.count < 1 || statement.ignored.column == 0) return;
  const TokenPlace& last = statement.places[statement.count - 1];
  const std::int32_t from = last.column + last.length;
  const std::int32_t to = statement.ignored.column + statement.ignored.length;
  d.fixes.push_back(Fix{d.line, from, to - from, "", "remove the extra operand"});
}

}  // namespace

NumberReadings ReadNumberWithoutH(const char* token, std::uint32_t highest) {
  NumberReadings readings;
  const char* digits = token;
  const bool negative = *digits == '-';
  if (*digits == '+' || *digits == '-') ++digits;
  if (*digits == '\0') return readings;
  bool decimal = true;
  std::uint32_t value = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    const auto ch = static_cast<unsigned char>(*p);
    if (std::isxdigit(ch) == 0) return readings;
    if (std::isdigit(ch) == 0) decimal = false;
    value = std::min(value * 10 + static_cast<unsigned>(ch - '0'), kNumberCeiling + 1);
  }
  readings.digitsOnly = decimal;
  std::uint32_t hexadecimalValue = 0;
  std::uint32_t decimalValue = 0;
  const std::string hexadecimal = std::string(token) + "h";
  if (Fits(hexadecimal, highest, hexadecimalValue)) readings.hexadecimal = hexadecimal;
  if (decimal && value <= highest) {
    char text[16];
    *AppendNumber(text, value, 2) = '\0';
    const std::string written = std::string(negative ? "-" : "") + text;
    if (Fits(written, highest, decimalValue)) readings.decimal = written;
  }
  // Below 10 both readings are one number: the learner's digits say it.
  if (!readings.decimal.empty() && !readings.hexadecimal.empty() && decimalValue == hexadecimalValue) {
    readings.decimal.clear();
  }
  return readings;
}

void AddFixes(Diagnostic& d, const Statement& statement) {
  if (d.kind == DiagnosticKind::kIgnoredTokens) {
    AddRemovalFix(d, statement);
    return;
  }
  if (!TokenWhole(d)) return;
  switch (d.kind) {
    case DiagnosticKind::kNotARegister:
      AddRegisterFixes(d);
      break;
    case DiagnosticKind::kImmediateNotANumber:
      AddNumberFixes(d, statement);
      break;
    case DiagnosticKind::kNumberReadAsMemory:
      if (d.operation == Operation::kMov) AddLoadFix(d, statement);
      break;
    default:
      break;
  }
}

void CompleteFixes(std::vector<Diagnostic>& diagnostics, std::uint8_t usedRegisters) {
  // The registers a constant may pass through, in the order they are offered.
  static constexpr RegisterCode kSpare[] = {kRegB, kRegC, kRegD, kRegE, kRegH, kRegL};
  const RegisterCode* const spare =
      std::find_if(std::begin(kSpare), std::end(kSpare),
                   [usedRegisters](RegisterCode code) { return (usedRegisters & (1U << code)) == 0; });
  if (spare == std::end(kSpare)) return;
  const std::string name = kRegisterNames[*spare];
  for (Diagnostic& d : diagnostics) {
    const bool constantOperand = d.kind == DiagnosticKind::kNumberReadAsMemory &&
                                 (d.operation == Operation::kAdd || d.operation == Operation::kCmp);
    if (!constantOperand || !TokenWhole(d) || !IsValidNumber(d.token) || d.statementColumn <= 0) continue;
    const std::string mnemonic = RowOf(d.operation).mnemonic;
    const std::string load = std::string(RowOf(Operation::kMvi).mnemonic) + " " + name + ", " + d.token;
    const std::string verb = d.operation == Operation::kAdd ? "add " : "compare with ";
    d.fixes.push_back(Fix{
        d.line, d.statementColumn, d.column + d.length - d.statementColumn, load + "\n" + mnemonic + " " + name,
        "load " + std::string(d.token) + " into " + name + ", which the program does not use, then " + verb + name});
  }
}

const Fix* SureFix(const Diagnostic& diagnostic) {
  return diagnostic.fixes.size() == 1 ? &diagnostic.fixes.front() : nullptr;
}

std::string ApplyFixes(const std::string& text, std::vector<Fix> fixes, std::size_t* applied) {
  std::stable_sort(fixes.begin(), fixes.end(),
                   [](const Fix& a, const Fix& b) { return a.line != b.line ? a.line < b.line : a.column < b.column; });
  std::string result;
  result.reserve(text.size() + 64);
  std::size_t copied = 0;     // bytes of text already in result
  std::size_t lineStart = 0;  // offset of line `line` in text
  std::int32_t line = 1;
  std::size_t count = 0;
  for (const Fix& fix : fixes) {
    if (fix.line < line || fix.column < 1 || fix.length < 0) continue;
    while (line < fix.line && lineStart <= text.size()) {
      const std::size_t feed = text.find('\n', lineStart);
      lineStart = feed == std::string::npos ? text.size() + 1 : feed + 1;
      ++line;
    }
    if (lineStart > text.size()) break;
    std::size_t lineEnd = text.find('\n', lineStart);
    const bool crlf = lineEnd != std::string::npos && lineEnd > lineStart && text[lineEnd - 1] == '\r';
    if (lineEnd == std::string::npos) lineEnd = text.size();
    if (crlf) --lineEnd;
    const std::size_t start = lineStart + static_cast<std::size_t>(fix.column - 1);
    const std::size_t end = start + static_cast<std::size_t>(fix.length);
    if (start < copied || end > lineEnd) continue;
    result.append(text, copied, start - copied);
    for (const char ch : fix.text) {
      if (ch == '\n' && crlf) result += '\r';
      result += ch;
    }
    copied = end;
    ++count;
  }
  result.append(text, copied, std::string::npos);
  if (applied != nullptr) *applied = count;
  return result;
}

}  // namespace mirvo
