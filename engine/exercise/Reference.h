#pragma once
// Grading against a model solution on every input. An exercise's
// [reference] table names a solution, the values its inputs take (vary) and
// what of the end state must equal the solution's (compare):
//
//   [reference]
//   name = "every input"                     # optional, the default
//   solution = """..."""
//   vary = "[1000h]=0..0FFh [1001h]=0..0FFh"  # a value rule per item
//   given = "B=0h"                           # optional: fixed for every input
//   compare = "[1002h] CY halt"              # the outcome is always compared
//   inputs = "all"                           # or a number drawn at random
//   points = 5                               # optional, 1
//   partial = false                          # optional: points by the share passed
//
// The inputs are ordered by the sum of their values, then by their values
// in the order vary lists them. "all" runs every combination (at most
// kMaxInputs) and names the first that fails; a number draws that many from
// the seed, adds each value's corners (0, 1, 7Fh, 80h, FFh where a rule
// holds them), shrinks the failures it finds (each value lowered while the
// program still fails) and names the least. The solution runs once per
// input when the file is read: one that does not halt on an input is the
// teacher's mistake, and the file is refused.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Expectations.h"

namespace mirvo {

inline constexpr std::uint64_t kMaxInputs = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kDefaultSeed = 1;
// The most values the solution's table may hold (compared items times
// inputs), and the most distinct bytes it may write in one input when
// memory is compared.
inline constexpr std::uint64_t kMaxTableValues = std::uint64_t{1} << 25;
inline constexpr std::size_t kMaxSolutionWrites = 4096;
// The most steps the solution may take over all its inputs together: a
// file from a link cannot keep a reader busy for long.
inline constexpr std::uint64_t kMaxSolutionSteps = std::uint64_t{1} << 28;
// The failures of a random grading that are shrunk, the least first.
inline constexpr std::size_t kShrunkFailures = 32;

// A byte the solution wrote in one input and its value at the end.
struct WrittenByte {
  std::uint16_t address;
  std::uint8_t value;
};

struct Reference {
  std::string name = "every input";
  std::string solution;
  std::uint32_t line = 0;  // of [reference]; 0: the exercise has none
  std::uint32_t solutionLine = 0;
  std::string varyText;
  std::string givenText;
  std::string compareText;
  std::vector<VariedItem> vary;
  std::vector<Expectation> given;
  Compared compared;
  bool all = true;
  std::uint64_t drawn = 0;  // the random inputs, when not all
  unsigned points = 1;
  bool partial = false;

  // Made by PrepareReference from the seed: the solution's bytes, the
  // inputs (random ones as value indices, vary.size() each; none for all),
  // and per input the solution's compared values and written bytes.
  std::uint64_t seed = kDefaultSeed;
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> picks;
  std::vector<std::uint16_t> table;
  std::vector<std::uint32_t> writeStart;  // per input, into writes; one more at the end
  std::vector<WrittenByte> writes;

  bool Present() const { return line != 0; }
  // The inputs graded: every combination, or the drawn ones and the corners.
  std::uint64_t Inputs() const;
  // The combinations of vary's values (saturated past kMaxInputs).
  std::uint64_t Combinations() const;
  // The values of input n, one per varied item.
  void InputAt(std::uint64_t n, std::uint8_t* values) const;
};

// Runs the solution (C when inC, as the exercise's programs are) on every
// input from seed. 0; or 1 with why (its words follow "the solution ..."):
// it does not assemble or compile, a varied or given byte falls inside it,
// it does not halt on an input, or its table grows too big.
int PrepareReference(Reference& reference, std::uint64_t seed, std::uint64_t maxSteps, bool inC, std::string& why);

// How a program did against the solution.
struct ReferenceResult {
  std::uint64_t inputs = 0;
  std::uint64_t passed = 0;
  std::vector<Expectation> smallestFailing;   // the varied items with their values; empty: none failed
  std::vector<Expectation> expected;          // the solution's values there, the outcome last
  std::vector<Mismatch> mismatches;           // into expected
  RunOutcome outcome = RunOutcome::kRunning;  // the program's at smallestFailing
  std::string error;                          // why it could not run (a varied byte inside it)
};

// Grades image against the prepared reference, each run at most maxSteps.
ReferenceResult GradeAgainstReference(const Reference& reference, std::span<const std::uint8_t> image,
                                      std::uint64_t maxSteps);

// "matches the solution on 65,280 of 65,536 inputs".
std::string DescribeMatches(const ReferenceResult& result);
// "[1000h]=0FFh [1001h]=01h": an input in the state syntax.
std::string WriteInput(const std::vector<Expectation>& input);

// A count as reports write it: "65,536".
std::string Thousands(std::uint64_t n);

// True when a is before b: a smaller sum, then smaller values in vary's order.
bool InputBefore(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

}  // namespace mirvo
