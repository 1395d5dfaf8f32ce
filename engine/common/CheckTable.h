#pragma once
// The run-time checks: the likely mistakes a run is watched for, each with
// its stable id and the words of its manual page. Every front end (mirvo's
// warnings and `explain`, the manual page, the web page) takes them from
// this one table, and a statement that means what it does says so with the
// allow comment read here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

enum class CheckId : std::uint8_t { kHlUnset, kCodeWrite, kPastEnd, kCarryLost, kUnsetRead };

// A set of checks, one bit per CheckId.
using CheckMask = std::uint8_t;
constexpr CheckMask CheckBit(CheckId id) { return static_cast<CheckMask>(1U << static_cast<unsigned>(id)); }
inline constexpr CheckMask kAllChecks = 0x1F;

struct CheckRow {
  CheckId id;
  const char* name;     // the id as written: -Wno-NAME, "; mirvo: allow NAME"
  const char* summary;  // one line: what the check sees
  const char* meaning;  // what it means, a paragraph
  const char* example;  // a program that shows it, one statement per line
  const char* fix;      // how to fix it, a paragraph
};

inline constexpr std::array<CheckRow, 5> kCheckTable = {{
    {CheckId::kHlUnset, "hl-unset", "Mem is used before H and L are set",
     "Mem is the byte at the address H * 256 + L. A statement read or wrote Mem while H had never been set, "
     "by the program or by the given state of the run, so the address came from H's reset value 0: it lies in "
     "the first 256 bytes of memory, which hold the program itself. (L may stay 0 once H is set: that is the "
     "start of the page H chose.)",
     "MVI A, 42h\n"
     "MOV Mem, A      ; H and L are still 0: this writes over address 0000h\n"
     "RET\n",
     "Set both halves of the address before the first use of Mem, for example MVI H, 10h and MVI L, 00h for "
     "address 1000h."},
    {CheckId::kCodeWrite, "code-write", "a write changes the program's own bytes",
     "Code and data share the 64 KiB memory, and the program's statements lie from address 0 on. A store "
     "through Mem changed one of those bytes, so the statement there no longer does what its source says "
     "when the program gets to it again.",
     "MVI H, 00h\n"
     "MVI L, 00h\n"
     "MVI Mem, 5h     ; address 0000h holds the first statement\n"
     "RET\n",
     "Keep data at addresses beyond the program, such as 1000h. A program that rewrites its own code on "
     "purpose says so on the statement's line (see below)."},
    {CheckId::kPastEnd, "past-end", "the program runs past its last statement",
     "A run reached the first address after the program's last statement without a RET having ended it. "
     "The bytes there were not written by the program: memory that nothing filled holds 00h, which is no "
     "instruction, and the run stops there. mirvo asm gives the same warning at the last statement.",
     "MVI A, 5h\n"
     "ADD A           ; the last statement: no RET follows\n",
     "End the program with RET."},
    {CheckId::kCarryLost, "carry-lost", "a register ADD wraps past FFh and loses the carry",
     "ADD with a register operand keeps only the low eight bits of the sum and, unlike ADD Mem, sets no "
     "flag: a sum above FFh wraps round, and neither CY nor anything else shows that it did.",
     "MVI A, 0F0h\n"
     "MVI B, 20h\n"
     "ADD B           ; 0F0h + 20h = 110h: A becomes 10h\n"
     "RET\n",
     "Use ADD Mem, which sets CY when the sum passes FFh, or keep the values small enough for their sum to "
     "fit in a byte."},
    {CheckId::kUnsetRead, "unset-read", "a register is read before anything set it",
     "A statement read a register that neither the program nor the given state of the run had written. It "
     "holds 0 from the reset state, which is rarely the value the program meant. ADD and CMP read A as well "
     "as their operand.",
     "MVI B, 5h\n"
     "ADD B           ; A was never set: this is 0 + 5\n"
     "RET\n",
     "Load the register before its first use, for example with MVI A, 0h."},
}};

constexpr const CheckRow& CheckRowOf(CheckId id) { return kCheckTable[static_cast<std::size_t>(id)]; }

// The row named name, or null.
const CheckRow* FindCheck(std::string_view name);

// The names of all checks in words: "hl-unset, code-write, past-end,
// carry-lost and unset-read".
std::string CheckNamesInWords();

// The comment that marks a statement as meaning what it does: the marker,
// then one or more check names separated by commas or spaces, anywhere in
// the comment on the statement's own line ("; 0009h: mirvo: allow code-write").
inline constexpr std::string_view kAllowMarker = "mirvo: allow";

// The comment that gives the state a source's run starts from in an editor,
// in the state syntax of mirvo run --given: "; mirvo: given B=5h [1000h]=7h".
inline constexpr std::string_view kGivenMarker = "mirvo: given";

// True for a character of a check name.
constexpr bool IsCheckNameCharacter(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
}
// Calls found(start, length) for each word of the list of names that
// starts at byte from of text (just after the marker) and ends by end at
// the latest: names are separated by commas or spaces; anything else (a
// colon, a closing parenthesis) ends the list.
template <class Found>
void ForEachAllowName(std::string_view text, std::size_t from, std::size_t end, Found found) {
  std::size_t p = from;
  for (;;) {
    while (p < end && (text[p] == ' ' || text[p] == '\t')) ++p;
    const std::size_t wordStart = p;
    while (p < end && IsCheckNameCharacter(text[p])) ++p;
    if (p == wordStart) return;
    found(wordStart, p - wordStart);
    while (p < end && (text[p] == ' ' || text[p] == '\t')) ++p;
    if (p < end && text[p] == ',') ++p;
  }
}

// A link to a check's page for editors: its section of the manual page
// mirvo-checks(7), "man:mirvo-checks(7)#hl-unset", which `mirvo explain ID`
// prints as well.
std::string CheckPageLink(const CheckRow& row);

// How to turn one check off, in words that name the option and the comment.
std::string HowToTurnOff(const CheckRow& row);

// The allow comments of a source: for each line that has one, the checks it
// allows, and the words after a marker that name no check.
struct LineAllowance {
  std::int32_t line;  // 1-based
  CheckMask allowed;
};
struct UnknownAllowance {
  std::int32_t line;
  std::int32_t column;  // 1-based byte column of the word
  std::int32_t length;
  std::size_t offset;  // of the word in the text
};
struct Allowances {
  std::vector<LineAllowance> lines;  // in line order
  std::vector<UnknownAllowance> unknown;
  // The checks allowed on line, or 0.
  CheckMask On(std::int32_t line) const;
};
Allowances FindAllowances(const char* text, std::size_t size);

}  // namespace mirvo
