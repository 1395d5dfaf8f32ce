#pragma once
// Fixes as data: a change to one place of the source (a range of bytes of
// a line and the text to put there) that turns a diagnostic's mistake into
// what the learner meant. The assembler makes them next to each diagnostic;
// every front end shows or applies the same ones.

#include <cstdint>
#include <string>
#include <vector>

#include "InstructionSet.h"

namespace mirvo {

struct Fix {
  std::int32_t line;    // 1-based physical line
  std::int32_t column;  // 1-based byte column of the first byte replaced
  std::int32_t length;  // bytes replaced; 0 inserts before column
  std::string text;     // what goes there; a line feed in it starts a new line
  std::string title;    // what the fix does, e.g. "write B"
};

struct Diagnostic;
struct Statement;

// The readings of a number written without its h: as hexadecimal (the
// language's own) and as decimal (what a learner from elsewhere may mean),
// each as the number the language would write, empty when that reading is
// no byte (or, with highest, no number from 0 to highest). Both empty for a
// token that is no run of digits.
struct NumberReadings {
  std::string hexadecimal;  // "10h"
  std::string decimal;      // "0Ah"
  bool digitsOnly = false;  // the token is an optional sign and digits 0-9
};
NumberReadings ReadNumberWithoutH(const char* token, std::uint32_t highest = 0xFF);

// Adds the fixes that diagnostic's mistake has, read from the statement it
// is about. Fixes that need the whole program wait for CompleteFixes.
void AddFixes(Diagnostic& diagnostic, const Statement& statement);

// Adds the fixes that need to know the whole program: a constant where
// ADD or CMP wants a register becomes two statements through a register
// that usedRegisters (a bit per register code named anywhere in the
// program) does not hold.
void CompleteFixes(std::vector<Diagnostic>& diagnostics, std::uint8_t usedRegisters);

// A diagnostic's one fix, or null when it has none or several: several are
// different guesses at what was meant, and only the learner can choose.
const Fix* SureFix(const Diagnostic& diagnostic);

// text with fixes applied, each at its line and column; a fix that overlaps
// an earlier one (in source order) or lies outside the text is left out.
// A line feed in a fix's text becomes the line end of the line it lands
// in. applied, if given, receives how many were applied.
std::string ApplyFixes(const std::string& text, std::vector<Fix> fixes, std::size_t* applied = nullptr);

}  // namespace mirvo
