#pragma once
// The state syntax, one language for two jobs: what a run is expected to end
// with ("A=20h Z=1 PC=000Ch [1000h]=10h halt") and the state a run starts
// from ("B=5h [1000h]=7h,8h"). Items are separated by white space; a
// semicolon starts a comment that runs to the end of its line. Names are
// read in any case; numbers are written as the assembly language writes
// them (0Ah, 10h, 0x1Ah; a byte also -1h), and a digit 0-9 alone, which
// reads the same in every base, stands for itself. Digits from 10 up
// without their h are refused, as the assembler refuses them.
// [ADDRESS]=V1,V2,... is a run of bytes from ADDRESS up.
//
// Two more forms serve a comparison with a model solution. The values an
// input may take ("[1000h]=0h..0FFh A={0,1,7Fh,80h,0FFh} [2000h]=0..3,{1,2}")
// give each item a rule instead of a value: a value, a range LO..HI or a
// set in braces, one rule per byte of a run. What is compared names items
// without values: registers, flags, PC, SP, bytes, ranges of bytes
// ([1000h..100Fh]), memory (every byte outside the programs' images) and
// outcome (or halt).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "RunLoop.h"
#include "VirtualMachine.h"

namespace mirvo {

enum class ExpectKind : std::uint8_t { kRegister, kFlag, kProgramCounter, kStackPointer, kMemory, kOutcome };

// One item: a register, flag, PC, SP or memory byte and its value, or the
// outcome of the run.
struct Expectation {
  ExpectKind kind = ExpectKind::kOutcome;
  std::uint8_t slot = 0;      // register code or flag slot
  std::uint16_t address = 0;  // memory
  unsigned value = 0;
  RunOutcome outcome = RunOutcome::kHalted;
  std::uint32_t offset = 0;  // where the item's text starts, in bytes
};

// What a text may name: the end of a run names anything; the start of a
// run only registers, flags and memory bytes (it starts at address 0 with
// an empty stack, and has no outcome yet).
enum class StateRole : std::uint8_t { kExpected, kGiven, kVaried };

struct SyntaxError {
  std::uint32_t offset = 0;  // in bytes from the start of the text
  std::string message;
};

// Reads text into items. An expected state needs at least one item; a given
// state may be empty. Naming one thing twice is refused. 0, or 1 with error.
int ParseState(std::string_view text, StateRole role, std::vector<Expectation>& items, SyntaxError& error);

// An item whose value is drawn from a rule: its values, ascending, each once.
struct VariedItem {
  Expectation target;  // value: the lowest
  std::vector<std::uint8_t> values;
};
// Reads the values inputs may take (StateRole::kVaried): at least one item.
int ParseVaried(std::string_view text, std::vector<VariedItem>& items, SyntaxError& error);

// What a comparison looks at: items (their values unused; a range is a byte
// each) and whether every byte outside the images is compared too. The
// outcome is always compared.
struct Compared {
  std::vector<Expectation> items;
  bool memory = false;
};
// Reads what is compared: at least one name.
int ParseCompared(std::string_view text, Compared& compared, SyntaxError& error);

// The item as reports name it: "A", "Z", "PC", "[1000h]", "outcome".
std::string WhatOf(const Expectation& item);
// A value of the item as reports write it: "05h", "1", "000Ch", "halt".
std::string ShowValue(const Expectation& item, unsigned value, RunOutcome outcome);
// The item written back in the state syntax: "A=05h", "[1000h]=07h", "halt".
std::string WriteItem(const Expectation& item, unsigned value, RunOutcome outcome);

// Puts a given state into a machine that holds its image. A given byte that
// falls inside the image (its first imageSize bytes) is refused: the
// machine is left untouched and conflict receives that item. 0, or 1.
int ApplyGiven(const std::vector<Expectation>& given, std::size_t imageSize, VirtualMachine& machine,
               const Expectation** conflict = nullptr);
// The register slots a given state sets, one bit per register code: the
// run-time checks count them as written.
std::uint8_t GivenRegisters(const std::vector<Expectation>& given);
// Why ApplyGiven refused: "the given byte [0003h] falls inside the program,
// which fills 0000h to 0008h" (role: "given", or "varied" for an input's).
std::string DescribeConflict(const Expectation& conflict, std::size_t imageSize, const char* role = "given");

// An expected item the finished run does not meet, with what it found.
struct Mismatch {
  std::size_t item;  // index into the expectations
  unsigned actualValue = 0;
  RunOutcome actualOutcome = RunOutcome::kHalted;
};

// What the machine holds of the item (0 for the outcome, which it does not).
unsigned ValueIn(const Expectation& item, const VirtualMachine& machine);

// The expectations that the finished run does not meet, in the order given.
std::vector<Mismatch> Compare(const std::vector<Expectation>& expected, const VirtualMachine& machine,
                              RunOutcome outcome);

// "A is 05h, expected 20h".
std::string DescribeMismatch(const std::vector<Expectation>& expected, const Mismatch& mismatch);

}  // namespace mirvo
