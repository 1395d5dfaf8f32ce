// Parses a state map back and checks it against the machine it came from.
// Built without coverage and sanitizers (see CMakeLists.txt): the checker is
// not what is under test, and its branches would steer the fuzzer towards
// itself and slow it down.

#include "StateMapCheck.h"

#include <utility>

#include "FuzzCheck.h"
#include "StateMap.h"

namespace {

// Reads a report one line at a time and the numbers in it.
class Reader {
 public:
  Reader(const char* begin, const char* end) : at(begin), end(end) {}

  // The next line, without its line feed, as [lineBegin, lineEnd).
  void Line() {
    lineBegin = at;
    while (at < end && *at != '\n') ++at;
    FUZZ_CHECK(at < end);
    lineEnd = at++;
  }
  void Expect(const char* text) {
    Line();
    const char* p = lineBegin;
    while (*text != '\0' && p < lineEnd && *p == *text) ++p, ++text;
    FUZZ_CHECK(*text == '\0' && p == lineEnd);
  }
  bool AtEnd() const { return at == end; }

  // Checks that what is left of the line starts with prefix, and moves past it.
  void Skip(const char* prefix) {
    while (*prefix != '\0') {
      FUZZ_CHECK(lineBegin < lineEnd && *lineBegin == *prefix);
      ++lineBegin;
      ++prefix;
    }
  }
  // "<hex> (<decimal>)" with the same value twice, ending the line.
  unsigned Value() {
    const unsigned hex = Number(16);
    Skip(" (");
    const unsigned decimal = Number(10);
    Skip(")");
    FUZZ_CHECK(lineBegin == lineEnd);
    FUZZ_CHECK(hex == decimal);
    return hex;
  }
  unsigned Number(unsigned base) {
    unsigned value = 0;
    const char* const first = lineBegin;
    for (; lineBegin < lineEnd; ++lineBegin) {
      const char c = *lineBegin;
      unsigned digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else {
        break;
      }
      value = value * base + digit;
    }
    const long digits = lineBegin - first;
    FUZZ_CHECK(digits >= 1 && digits <= 5);
    FUZZ_CHECK(digits == 1 || *first != '0');  // no leading zeros
    return value;
  }

  const char* lineBegin = nullptr;
  const char* lineEnd = nullptr;

 private:
  const char* at;
  const char* end;
};

}  // namespace

void VerifyStateMap(const mirvo::VirtualMachine& machine, const std::string& path, const std::string& text) {
  using namespace mirvo;
  std::size_t lines = 0;
  for (const char* c = text.data(); c < text.data() + text.size(); ++c) lines += *c == '\n' ? 1 : 0;
  FUZZ_CHECK(lines == kStateMapLines);

  Reader reader(text.data(), text.data() + text.size());
  reader.Expect("This output file was produced by MirvoVM.");
  reader.Expect("It represents the state of the VM after");
  reader.Expect("running an application.");
  reader.Expect("");
  reader.Expect(("Output log from: " + path).c_str());
  reader.Expect("");
  reader.Expect("MirvoVM (Post Run) VM CPU State Map");
  reader.Expect("");
  reader.Expect("Registers");
  const RegisterFile& registers = machine.GetRegisters();
  for (const auto& [name, code] : {std::pair{"Reg A: ", kRegA},
                                   {"Reg B: ", kRegB},
                                   {"Reg C: ", kRegC},
                                   {"Reg D: ", kRegD},
                                   {"Reg E: ", kRegE},
                                   {"Reg H: ", kRegH},
                                   {"Reg L: ", kRegL}}) {
    reader.Line();
    reader.Skip(name);
    FUZZ_CHECK(reader.Value() == registers[code]);
  }
  reader.Expect("");
  reader.Expect("Flags");
  reader.Expect("S Z - AC - P - CY");
  const FlagBytes& flags = machine.GetFlags();
  const char flagLine[] = {static_cast<char>('0' + flags[kFlagSign]),
                           ' ',
                           static_cast<char>('0' + flags[kFlagZero]),
                           ' ',
                           ' ',
                           ' ',
                           static_cast<char>('0' + flags[kFlagAuxCarry]),
                           ' ',
                           ' ',
                           ' ',
                           ' ',
                           static_cast<char>('0' + flags[kFlagParity]),
                           ' ',
                           ' ',
                           ' ',
                           static_cast<char>('0' + flags[kFlagCarry]),
                           '\0'};
  reader.Expect(flagLine);
  reader.Expect("");
  reader.Expect("Program Counter/Instruction Pointer");
  reader.Line();
  reader.Skip("0x");
  FUZZ_CHECK(reader.Value() == machine.GetProgramCounter());
  reader.Expect("");
  reader.Expect("Stack Pointer");
  reader.Line();
  reader.Skip("0x");
  FUZZ_CHECK(reader.Value() == machine.GetStackPointer());
  reader.Expect("");
  reader.Expect("Memory Map");
  for (unsigned address = 0; address < kMemorySize; ++address) {
    reader.Line();
    reader.Skip("0x");
    FUZZ_CHECK(reader.Number(16) == address);
    reader.Skip(": 0x");
    FUZZ_CHECK(reader.Value() == machine.MemoryAt(static_cast<std::uint16_t>(address)));
  }
  reader.Expect("");
  FUZZ_CHECK(reader.AtEnd());
}
