#include "Expectations.h"

#include <array>
#include <cctype>

#include "InstructionSet.h"
#include "Output.h"
#include "Program.h"

namespace mirvo::cli {

namespace {

std::string Upper(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return text;
}

// "20h"/"0FFh" hexadecimal or "32" decimal, at most limit. 0, or 1.
int ParseNumber(const std::string& text, unsigned limit, unsigned& value) {
  if (text.empty()) return 1;
  const bool hex = text.back() == 'h' || text.back() == 'H';
  const std::size_t digits = hex ? text.size() - 1 : text.size();
  if (digits == 0) return 1;
  unsigned long result = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const auto ch = static_cast<unsigned char>(text[i]);
    unsigned digit = 0;
    if (std::isdigit(ch) != 0) {
      digit = ch - '0';
    } else if (hex && std::isxdigit(ch) != 0) {
      digit = static_cast<unsigned>(std::toupper(ch) - 'A' + 10);
    } else {
      return 1;
    }
    result = result * (hex ? 16 : 10) + digit;
    if (result > limit) return 1;
  }
  value = static_cast<unsigned>(result);
  return 0;
}

struct Name {
  const char* name;
  ExpectKind kind;
  std::uint8_t slot;
};

// Every name an expectation may use: the registers and flags as reports
// name them, then PC and SP.
constexpr std::array<Name, kRegisterReportOrder.size() + kFlagReportOrder.size() + 2> kNames = [] {
  std::array<Name, kRegisterReportOrder.size() + kFlagReportOrder.size() + 2> names{};
  std::size_t n = 0;
  for (const NamedSlot& reg : kRegisterReportOrder) names[n++] = {reg.name, ExpectKind::kRegister, reg.slot};
  for (const NamedSlot& flag : kFlagReportOrder) names[n++] = {flag.name, ExpectKind::kFlag, flag.slot};
  names[n++] = {"PC", ExpectKind::kProgramCounter, 0};
  names[n++] = {"SP", ExpectKind::kStackPointer, 0};
  return names;
}();

// The names of the outcomes that end a run, each after separator: the
// outcomes an expectation can name.
std::string FinalOutcomeNames(const char* separator) {
  std::string list;
  for (std::size_t value = 0; value < kOutcomeNames.size(); ++value) {
    if (!IsFinal(static_cast<RunOutcome>(value))) continue;
    if (!list.empty()) list += separator;
    list += kOutcomeNames[value];
  }
  return list;
}

// "A B C D E H L" and "S Z AC P CY": the names of a report order table.
template <std::size_t N>
std::string NameList(const std::array<NamedSlot, N>& table) {
  std::string list;
  for (const NamedSlot& entry : table) list += (list.empty() ? "" : " ") + std::string(entry.name);
  return list;
}

int ParseOne(const std::string& token, Expectation& expectation, std::string& error) {
  for (std::size_t value = 0; value < kOutcomeNames.size(); ++value) {
    const auto outcome = static_cast<RunOutcome>(value);
    if (IsFinal(outcome) && Upper(token) == Upper(OutcomeName(outcome))) {
      expectation = {ExpectKind::kOutcome, "outcome", 0, 0, 0, outcome};
      return 0;
    }
  }
  const std::size_t equals = token.find('=');
  if (equals == std::string::npos) {
    error = "'" + token + "' is not an expectation: write NAME=VALUE, [ADDRESS]=VALUE or one of " +
            FinalOutcomeNames(", ");
    return 1;
  }
  const std::string name = token.substr(0, equals);
  const std::string number = token.substr(equals + 1);
  unsigned limit = 0xFF;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    unsigned address = 0;
    if (ParseNumber(name.substr(1, name.size() - 2), 0xFFFF, address) != 0) {
      error = "'" + token + "': the address in brackets must be a number from 0 to 0FFFFh, such as [1000h]";
      return 1;
    }
    expectation = {ExpectKind::kMemory, "[" + LanguageNumber(address) + "]", 0,
                   static_cast<std::uint16_t>(address), 0, RunOutcome::kHalted};
  } else {
    const Name* found = nullptr;
    for (const Name& candidate : kNames) {
      if (Upper(name) == candidate.name) found = &candidate;
    }
    if (found == nullptr) {
      error = "'" + token + "': '" + name + "' is none of the registers " + NameList(kRegisterReportOrder) +
              ", the flags " + NameList(kFlagReportOrder) + ", PC, SP or [ADDRESS]";
      return 1;
    }
    expectation = {found->kind, found->name, found->slot, 0, 0, RunOutcome::kHalted};
    if (found->kind == ExpectKind::kFlag) limit = 1;
    if (found->kind == ExpectKind::kProgramCounter || found->kind == ExpectKind::kStackPointer) limit = 0xFFFF;
  }
  if (ParseNumber(number, limit, expectation.value) != 0) {
    error = "'" + token + "': the value must be a number from 0 to " + (limit == 1 ? "1" : LanguageNumber(limit)) +
            ", hexadecimal with a trailing h or decimal";
    return 1;
  }
  return 0;
}

}  // namespace

int ParseExpectations(const std::string& text, std::vector<Expectation>& expectations, std::string& error) {
  expectations.clear();
  bool inComment = false;
  std::string token;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char ch = i < text.size() ? text[i] : '\n';
    if (ch == '\n') inComment = false;
    const bool space = std::isspace(static_cast<unsigned char>(ch)) != 0;
    if (!inComment && ch == ';') inComment = true;
    if (inComment || space) {
      if (!token.empty()) {
        Expectation expectation{};
        if (ParseOne(token, expectation, error) != 0) return 1;
        expectations.push_back(expectation);
        token.clear();
      }
      continue;
    }
    token += ch;
  }
  if (expectations.empty()) {
    error = "no expectations given: write them like \"A=20h Z=1 halt\"";
    return 1;
  }
  return 0;
}

std::vector<Mismatch> Compare(const std::vector<Expectation>& expectations, const VirtualMachine& machine,
                              RunOutcome outcome) {
  std::vector<Mismatch> mismatches;
  for (const Expectation& expectation : expectations) {
    unsigned actual = 0;
    switch (expectation.kind) {
      case ExpectKind::kRegister:
        actual = machine.GetRegisters()[expectation.slot];
        break;
      case ExpectKind::kFlag:
        actual = machine.GetFlags()[expectation.slot] & 1U;
        break;
      case ExpectKind::kProgramCounter:
        actual = machine.GetProgramCounter();
        break;
      case ExpectKind::kStackPointer:
        actual = machine.GetStackPointer();
        break;
      case ExpectKind::kMemory:
        actual = machine.MemoryAt(expectation.address);
        break;
      case ExpectKind::kOutcome:
        if (outcome != expectation.outcome) mismatches.push_back({&expectation, 0, outcome});
        continue;
    }
    if (actual != expectation.value) mismatches.push_back({&expectation, actual, outcome});
  }
  return mismatches;
}

std::string ShowValue(const Expectation& expectation, unsigned value, RunOutcome outcome) {
  switch (expectation.kind) {
    case ExpectKind::kOutcome:
      return OutcomeName(outcome);
    case ExpectKind::kFlag:
      return std::to_string(value);
    case ExpectKind::kRegister:
    case ExpectKind::kMemory:
      return ByteNotation(static_cast<std::uint8_t>(value)).text;
    case ExpectKind::kProgramCounter:
    case ExpectKind::kStackPointer:
      break;
  }
  return LanguageNumber(value);
}

}  // namespace mirvo::cli
