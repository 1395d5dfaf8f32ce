#pragma once
// What a teacher expects of a program's run, written like
// "A=20h B=20h Z=1 CY=0 PC=0Ch [1000h]=10h halt", and how a finished run
// measures up to it.

#include <cstdint>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "VirtualMachine.h"

namespace mirvo::cli {

enum class ExpectKind { kRegister, kFlag, kProgramCounter, kStackPointer, kMemory, kOutcome };

struct Expectation {
  ExpectKind kind;
  std::string what;        // as reported: "A", "Z", "PC", "[1000h]", "outcome"
  std::uint8_t slot = 0;   // register code or flag slot
  std::uint16_t address = 0;
  unsigned value = 0;
  RunOutcome outcome = RunOutcome::kHalted;
};

// Reads expectations separated by white space; a semicolon starts a comment
// that runs to the end of its line. Names are read in any case; numbers are
// hexadecimal with a trailing h, or decimal. 0, or 1 with error set to why.
int ParseExpectations(const std::string& text, std::vector<Expectation>& expectations, std::string& error);

struct Mismatch {
  const Expectation* expectation;
  unsigned actualValue;
  RunOutcome actualOutcome;
};

// The expectations that the finished run does not meet, in the order given.
std::vector<Mismatch> Compare(const std::vector<Expectation>& expectations, const VirtualMachine& machine,
                              RunOutcome outcome);

// A value of an expectation as it is written in a report: a byte as 05h or
// 0F0h, an address as 0Ch, a flag as 1, an outcome as halt.
std::string ShowValue(const Expectation& expectation, unsigned value, RunOutcome outcome);

}  // namespace mirvo::cli
