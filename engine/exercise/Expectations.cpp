#include "Expectations.h"

#include <array>
#include <cctype>
#include <optional>

#include "Assembler.h"
#include "Diagnostic.h"
#include "InstructionSet.h"

namespace mirvo {

namespace {

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// A digit alone reads the same in every base.
bool IsSingleDigit(std::string_view text) { return text.size() == 1 && text[0] >= '0' && text[0] <= '9'; }

// A value written as the language writes numbers ("0Ah", "10h", "0x1Ah";
// for a byte also "-1h"), or a digit 0-9, at most limit. 0; or 1, with slip
// set when the text is one of the assembler's slips (digits without their
// h, an upper-case H), in its words.
int ParseNumber(std::string_view text, unsigned limit, unsigned& value, std::string& slip) {
  slip.clear();
  if (IsSingleDigit(text)) {
    value = static_cast<unsigned>(text[0] - '0');
    return value <= limit ? 0 : 1;
  }
  const std::string token(text);
  if (limit == 0xFF) {
    std::uint8_t byte = 0;
    if (ReadImmediate(token.c_str(), byte) == ImmediateStatus::kValid) {
      value = byte;
      return 0;
    }
  } else {
    bool negative = false;
    std::uint32_t magnitude = 0;
    if (ReadNumber(token.c_str(), negative, magnitude) && !negative && magnitude <= limit) {
      value = magnitude;
      return 0;
    }
  }
  if (limit > 1 && token.find('\0') == std::string::npos) {
    slip = DescribeNumberSlip(token.c_str(), limit, limit == 0xFF ? "run from 0 to 0FFh" : "run from 0 to 0FFFFh");
  }
  return 1;
}

const char* LimitText(unsigned limit) { return limit == 0xFF ? "0FFh" : "0FFFFh"; }

// The items of a token that joined them with commas, with a space for each
// comma that starts an item: "A=5h,B=6h" is "A=5h B=6h".
std::string SpacedItems(std::string_view token) {
  std::string spaced(token);
  for (std::size_t comma = spaced.find(','); comma != std::string::npos; comma = spaced.find(',', comma + 1)) {
    const std::size_t next = spaced.find(',', comma + 1);
    if (spaced.substr(comma + 1, next - comma - 1).find('=') != std::string::npos) spaced[comma] = ' ';
  }
  return spaced;
}

struct Name {
  const char* name;
  ExpectKind kind;
  std::uint8_t slot;
};

// Every name an item may use: the registers and flags as reports name them,
// then PC and SP.
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

// Remembers what the items named so far, to refuse a second mention.
class Seen {
 public:
  // True if the item names something named before.
  bool Again(const Expectation& item) {
    std::size_t key = 0;
    switch (item.kind) {
      case ExpectKind::kRegister:
        key = item.slot;
        break;
      case ExpectKind::kFlag:
        key = 8U + item.slot;
        break;
      case ExpectKind::kProgramCounter:
        key = 16;
        break;
      case ExpectKind::kStackPointer:
        key = 17;
        break;
      case ExpectKind::kOutcome:
        key = 18;
        break;
      case ExpectKind::kMemory:
        if (memory.empty()) memory.resize(kMemorySize);
        if (memory[item.address]) return true;
        memory[item.address] = true;
        return false;
    }
    if (named[key]) return true;
    named[key] = true;
    return false;
  }

 private:
  std::array<bool, 19> named{};
  std::vector<bool> memory;
};

class Parser {
 public:
  Parser(StateRole role, std::vector<Expectation>& items, SyntaxError& error, std::vector<VariedItem>* varied = nullptr)
      : role(role), items(items), error(error), varied(varied) {}

  // One item; places[i] is where the token's character i stands in the
  // text (white space around the commas of a run is left out of the token).
  int Item(std::string_view token, const std::vector<std::uint32_t>& places) {
    const std::uint32_t offset = places.front();
    if (const std::optional<RunOutcome> outcome = FinalOutcomeNamed(token)) return OutcomeItem(*outcome, token, offset);
    const std::size_t equals = token.find('=');
    if (equals == std::string_view::npos) {
      return Fail(offset, "'" + std::string(token) +
                              (role != StateRole::kExpected
                                   ? "' is not a given value: write NAME=VALUE or [ADDRESS]=VALUE"
                                   : "' is not an expectation: write NAME=VALUE, [ADDRESS]=VALUE or one of " +
                                         FinalOutcomeNames(", ")));
    }
    Expectation item;
    item.offset = offset;
    unsigned limit = 0xFF;
    if (Target(token, token.substr(0, equals), item, limit) != 0) return 1;
    return Values(token, places, equals + 1, item, limit);
  }

 private:
  // The outcome that ends a run that token names, if any.
  static std::optional<RunOutcome> FinalOutcomeNamed(std::string_view token) {
    for (std::size_t value = 0; value < kOutcomeNames.size(); ++value) {
      const auto outcome = static_cast<RunOutcome>(value);
      if (IsFinal(outcome) && SameWord(token, OutcomeName(outcome))) return outcome;
    }
    return std::nullopt;
  }

  int OutcomeItem(RunOutcome outcome, std::string_view token, std::uint32_t offset) {
    if (role != StateRole::kExpected) {
      return Fail(offset,
                  "'" + std::string(token) + "' is an outcome: a given state holds registers, flags and memory bytes");
    }
    Expectation item;
    item.outcome = outcome;
    item.offset = offset;
    return Add(item, token);
  }

  // What the item names before its '=': memory at an address, a register, a
  // flag, PC or SP, into item; limit is the largest value it holds.
  int Target(std::string_view token, std::string_view name, Expectation& item, unsigned& limit) {
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
      unsigned address = 0;
      std::string slip;
      if (ParseNumber(name.substr(1, name.size() - 2), 0xFFFF, address, slip) != 0) {
        if (slip.empty()) slip = "the address in brackets must be a number from 0 to 0FFFFh, such as [1000h]";
        return Fail(item.offset, "'" + std::string(token) + "': " + slip);
      }
      item.kind = ExpectKind::kMemory;
      item.address = static_cast<std::uint16_t>(address);
      return 0;
    }
    const Name* found = nullptr;
    for (const Name& candidate : kNames) {
      if (SameWord(name, candidate.name)) found = &candidate;
    }
    const bool startOnly = role != StateRole::kExpected;
    if (found == nullptr) {
      return Fail(item.offset, "'" + std::string(token) + "': '" + std::string(name) + "' is none of the registers " +
                                   NameList(kRegisterReportOrder) + ", the flags " + NameList(kFlagReportOrder) +
                                   (startOnly ? "" : ", PC, SP") + " or [ADDRESS]");
    }
    if (startOnly && found->kind == ExpectKind::kProgramCounter) {
      return Fail(item.offset, "'" + std::string(token) + "': PC cannot be given: every run starts at 0000h");
    }
    if (startOnly && found->kind == ExpectKind::kStackPointer) {
      return Fail(item.offset, "'" + std::string(token) + "': SP cannot be given: the stack is always empty");
    }
    item.kind = found->kind;
    item.slot = found->slot;
    if (found->kind == ExpectKind::kFlag) limit = 1;
    if (found->kind == ExpectKind::kProgramCounter || found->kind == ExpectKind::kStackPointer) limit = 0xFFFF;
    return 0;
  }

  // The values from start on, split at commas (a comma inside braces
  // belongs to a set): a run of bytes for memory.
  int Values(std::string_view token, const std::vector<std::uint32_t>& places, std::size_t start, Expectation item,
             unsigned limit) {
    const std::uint32_t offset = item.offset;
    for (unsigned count = 0;; ++count) {
      std::size_t end = NextComma(token, start);
      const std::uint32_t at = start < places.size() ? places[start] : places.back() + 1;
      if (count > 0 && token.substr(start, end - start).find('=') != std::string_view::npos) {
        return Fail(places[start - 1], "'" + std::string(token) +
                                           "': items are separated by spaces, not commas: write " + SpacedItems(token));
      }
      if (count > 0 && item.kind != ExpectKind::kMemory) {
        return Fail(at, "'" + std::string(token) + "': only memory takes a run of values, as in [1000h]=5h,7h");
      }
      if (count > 0 && item.address == 0xFFFF) {
        return Fail(at, "'" + std::string(token) + "': the run of bytes goes past the end of memory at FFFFh");
      }
      if (count > 0) item.address = static_cast<std::uint16_t>(item.address + 1);
      std::vector<std::uint8_t> values;
      if (OneValue(token, token.substr(start, end - start), at, limit, item.value, values) != 0) return 1;
      item.offset = count == 0 ? offset : at;
      if (Add(item, token) != 0) return 1;
      if (varied != nullptr) varied->push_back({item, std::move(values)});
      if (end == token.size()) return 0;
      start = end + 1;
    }
  }

  // Where the value that starts at start ends: the next comma outside braces.
  static std::size_t NextComma(std::string_view token, std::size_t start) {
    unsigned depth = 0;
    for (std::size_t i = start; i < token.size(); ++i) {
      if (token[i] == '{') ++depth;
      if (token[i] == '}' && depth > 0) --depth;
      if (token[i] == ',' && depth == 0) return i;
    }
    return token.size();
  }

  // One value, or for inputs one rule (a value, LO..HI or {V1,V2,...}):
  // value receives its lowest, values (for a rule) every one ascending.
  int OneValue(std::string_view token, std::string_view text, std::uint32_t at, unsigned limit, unsigned& value,
               std::vector<std::uint8_t>& values) {
    if (role != StateRole::kVaried) return Number(token, text, at, limit, value);
    std::array<bool, 256> in{};
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
      std::string_view rest = text.substr(1, text.size() - 2);
      while (true) {
        const std::size_t comma = rest.find(',');
        if (Number(token, rest.substr(0, comma), at, limit, value) != 0) return 1;
        in[value] = true;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
      }
    } else if (const std::size_t dots = text.find(".."); dots != std::string_view::npos) {
      unsigned high = 0;
      if (Number(token, text.substr(0, dots), at, limit, value) != 0) return 1;
      if (Number(token, text.substr(dots + 2), at, limit, high) != 0) return 1;
      if (high < value) return Fail(at, "'" + std::string(token) + "': a range runs from low to high, as in 0..0FFh");
      for (unsigned v = value; v <= high; ++v) in[v] = true;
    } else {
      if (Number(token, text, at, limit, value) != 0) return 1;
      in[value] = true;
    }
    for (unsigned v = 0; v < in.size(); ++v) {
      if (in[v]) values.push_back(static_cast<std::uint8_t>(v));
    }
    value = values.front();
    return 0;
  }

  int Number(std::string_view token, std::string_view text, std::uint32_t at, unsigned limit, unsigned& value) {
    std::string slip;
    if (ParseNumber(text, limit, value, slip) == 0) return 0;
    if (!slip.empty()) return Fail(at, "'" + std::string(token) + "': " + slip);
    const std::string range =
        limit == 1 ? std::string("0 or 1")
                   : std::string("a number from 0 to ") + LimitText(limit) + ", such as 0Ah, 10h or 0x1Ah";
    const std::string rules = role == StateRole::kVaried ? ", a range such as 0..0FFh or a set such as {0,1,80h}" : "";
    return Fail(at, "'" + std::string(token) + "': the value must be " + range + rules);
  }

 public:
  // One name of what a comparison looks at: memory, outcome or halt, a
  // register, flag, PC or SP, [ADDRESS] or [LOW..HIGH].
  int ComparedName(std::string_view token, std::uint32_t offset, Compared& compared) {
    if (SameWord(token, "memory")) {
      compared.memory = true;
      return 0;
    }
    if (SameWord(token, "outcome") || SameWord(token, "halt")) return 0;
    if (token.find('=') != std::string_view::npos) {
      return Fail(offset, "'" + std::string(token) + "': name what is compared without a value, as in \"[1002h] CY\"");
    }
    Expectation item;
    item.offset = offset;
    unsigned limit = 0xFF;
    const std::size_t dots = token.find("..");
    if (dots == std::string_view::npos || token.front() != '[' || token.back() != ']') {
      if (Target(token, token, item, limit) != 0) return 1;
      return Add(item, token);
    }
    unsigned low = 0;
    unsigned high = 0;
    std::string slip;
    if (ParseNumber(token.substr(1, dots - 1), 0xFFFF, low, slip) != 0 ||
        ParseNumber(token.substr(dots + 2, token.size() - dots - 3), 0xFFFF, high, slip) != 0 || high < low) {
      return Fail(offset,
                  "'" + std::string(token) + "': a range of bytes is written [LOW..HIGH], as in [1000h..100Fh]");
    }
    item.kind = ExpectKind::kMemory;
    for (unsigned address = low; address <= high; ++address) {
      item.address = static_cast<std::uint16_t>(address);
      if (Add(item, token) != 0) return 1;
    }
    return 0;
  }

 private:
  int Add(const Expectation& item, std::string_view token) {
    if (seen.Again(item)) {
      const std::string what =
          item.kind == ExpectKind::kOutcome ? std::string("the outcome") : "'" + WhatOf(item) + "'";
      return Fail(item.offset, "'" + std::string(token) + "': " + what + " is named twice");
    }
    items.push_back(item);
    return 0;
  }

  int Fail(std::uint32_t offset, std::string message) {
    error.offset = offset;
    error.message = std::move(message);
    return 1;
  }

  StateRole role;
  std::vector<Expectation>& items;
  SyntaxError& error;
  std::vector<VariedItem>* varied;
  Seen seen;
};

bool IsSpace(char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; }

// Reads text token by token, each handed to item(token, places).
template <class Item>
int ReadTokens(std::string_view text, SyntaxError& error, Item item) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsSpace(text[i])) {
      ++i;
      continue;
    }
    if (text[i] == ';') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    // An item runs to white space, a comment or the end, except that white
    // space next to a comma continues a run of values ("5h, 7h"). White
    // space next to '=' is a mistake of its own, found once the item is read.
    const std::size_t first = i;
    std::string token;
    std::vector<std::uint32_t> places;
    std::size_t spacedEquals = text.size();  // the first white space next to '='
    while (i < text.size() && text[i] != ';') {
      if (IsSpace(text[i])) {
        std::size_t next = i;
        while (next < text.size() && IsSpace(text[next])) ++next;
        const bool more = next < text.size() && text[next] != ';';
        const bool equals = (more && !token.empty() && token.back() == '=') || (more && text[next] == '=');
        const bool joins = (!token.empty() && token.back() == ',') || (next < text.size() && text[next] == ',');
        if (equals && spacedEquals == text.size()) spacedEquals = i;
        if (!joins && !equals) break;
        i = next;
        continue;
      }
      places.push_back(static_cast<std::uint32_t>(i));
      token += text[i++];
    }
    if (spacedEquals != text.size()) {
      // As written, each run of white space one space.
      std::string written;
      for (std::size_t at = first; at < i; ++at) {
        if (!IsSpace(text[at]) || (at + 1 < i && !IsSpace(text[at + 1]))) written += IsSpace(text[at]) ? ' ' : text[at];
      }
      error.offset = static_cast<std::uint32_t>(spacedEquals);
      error.message = "'" + written + "': no spaces around '=': write " + token;
      return 1;
    }
    if (item(token, places) != 0) return 1;
  }
  return 0;
}

}  // namespace

int ParseState(std::string_view text, StateRole role, std::vector<Expectation>& items, SyntaxError& error) {
  items.clear();
  Parser parser(role, items, error);
  const auto item = [&](std::string_view token, const std::vector<std::uint32_t>& places) {
    return parser.Item(token, places);
  };
  if (ReadTokens(text, error, item) != 0) return 1;
  if (role == StateRole::kExpected && items.empty()) {
    error.offset = 0;
    error.message = "no expectations given: write them like \"A=20h Z=1 halt\"";
    return 1;
  }
  return 0;
}

int ParseVaried(std::string_view text, std::vector<VariedItem>& items, SyntaxError& error) {
  items.clear();
  std::vector<Expectation> targets;
  Parser parser(StateRole::kVaried, targets, error, &items);
  const auto item = [&](std::string_view token, const std::vector<std::uint32_t>& places) {
    return parser.Item(token, places);
  };
  if (ReadTokens(text, error, item) != 0) return 1;
  if (items.empty()) {
    error = {0, "nothing varies: write the values inputs take, like \"[1000h]=0..0FFh\""};
    return 1;
  }
  return 0;
}

int ParseCompared(std::string_view text, Compared& compared, SyntaxError& error) {
  compared = Compared{};
  Parser parser(StateRole::kExpected, compared.items, error);
  bool any = false;
  const auto item = [&](std::string_view token, const std::vector<std::uint32_t>& places) {
    any = true;
    return parser.ComparedName(token, places.front(), compared);
  };
  if (ReadTokens(text, error, item) != 0) return 1;
  if (!any) {
    error = {0, "nothing is compared: name it, like \"[1002h] CY\" or \"memory\""};
    return 1;
  }
  return 0;
}

std::string WhatOf(const Expectation& item) {
  switch (item.kind) {
    case ExpectKind::kRegister:
      return kRegisterNames[item.slot];
    case ExpectKind::kFlag:
      for (const NamedSlot& flag : kFlagReportOrder) {
        if (flag.slot == item.slot) return flag.name;
      }
      break;
    case ExpectKind::kProgramCounter:
      return "PC";
    case ExpectKind::kStackPointer:
      return "SP";
    case ExpectKind::kMemory:
      return std::string("[") + WordNotation(item.address).text + "]";
    case ExpectKind::kOutcome:
      break;
  }
  return "outcome";
}

std::string ShowValue(const Expectation& item, unsigned value, RunOutcome outcome) {
  switch (item.kind) {
    case ExpectKind::kOutcome:
      return OutcomeName(outcome);
    case ExpectKind::kFlag:
      return std::to_string(value);
    case ExpectKind::kProgramCounter:
    case ExpectKind::kStackPointer:
      return WordNotation(static_cast<std::uint16_t>(value)).text;
    case ExpectKind::kRegister:
    case ExpectKind::kMemory:
      break;
  }
  return ByteNotation(static_cast<std::uint8_t>(value)).text;
}

std::string WriteItem(const Expectation& item, unsigned value, RunOutcome outcome) {
  if (item.kind == ExpectKind::kOutcome) return OutcomeName(outcome);
  return WhatOf(item) + "=" + ShowValue(item, value, outcome);
}

int ApplyGiven(const std::vector<Expectation>& given, std::size_t imageSize, VirtualMachine& machine,
               const Expectation** conflict) {
  for (const Expectation& item : given) {
    if (item.kind == ExpectKind::kMemory && item.address < imageSize) {
      if (conflict != nullptr) *conflict = &item;
      return 1;
    }
  }
  for (const Expectation& item : given) {
    const auto value = static_cast<std::uint8_t>(item.value);
    switch (item.kind) {
      case ExpectKind::kRegister:
        machine.SetRegister(item.slot, value);
        break;
      case ExpectKind::kFlag:
        machine.SetFlag(item.slot, value);
        break;
      case ExpectKind::kMemory:
        machine.WriteMemory(item.address, value);
        break;
      case ExpectKind::kProgramCounter:
      case ExpectKind::kStackPointer:
      case ExpectKind::kOutcome:
        break;
    }
  }
  return 0;
}

std::string DescribeConflict(const Expectation& conflict, std::size_t imageSize, const char* role) {
  return "the " + std::string(role) + " byte " + WhatOf(conflict) + " falls inside the program, which fills 0000h to " +
         WordNotation(static_cast<std::uint16_t>(imageSize - 1)).text;
}

unsigned ValueIn(const Expectation& item, const VirtualMachine& machine) {
  switch (item.kind) {
    case ExpectKind::kRegister:
      return machine.GetRegisters()[item.slot];
    case ExpectKind::kFlag:
      return machine.GetFlags()[item.slot] & 1U;
    case ExpectKind::kProgramCounter:
      return machine.GetProgramCounter();
    case ExpectKind::kStackPointer:
      return machine.GetStackPointer();
    case ExpectKind::kMemory:
      return machine.MemoryAt(item.address);
    case ExpectKind::kOutcome:
      break;
  }
  return 0;
}

std::vector<Mismatch> Compare(const std::vector<Expectation>& expected, const VirtualMachine& machine,
                              RunOutcome outcome) {
  std::vector<Mismatch> mismatches;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Expectation& item = expected[i];
    if (item.kind == ExpectKind::kOutcome) {
      if (outcome != item.outcome) mismatches.push_back({i, 0, outcome});
      continue;
    }
    const unsigned actual = ValueIn(item, machine);
    if (actual != item.value) mismatches.push_back({i, actual, outcome});
  }
  return mismatches;
}

std::string DescribeMismatch(const std::vector<Expectation>& expected, const Mismatch& mismatch) {
  const Expectation& item = expected[mismatch.item];
  return WhatOf(item) + " is " + ShowValue(item, mismatch.actualValue, mismatch.actualOutcome) + ", expected " +
         ShowValue(item, item.value, item.outcome);
}

std::uint8_t GivenRegisters(const std::vector<Expectation>& given) {
  std::uint8_t registers = 0;
  for (const Expectation& item : given) {
    if (item.kind == ExpectKind::kRegister) registers = static_cast<std::uint8_t>(registers | 1U << item.slot);
  }
  return registers;
}

}  // namespace mirvo
