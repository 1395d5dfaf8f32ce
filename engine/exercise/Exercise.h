#pragma once
// An exercise: a statement, starter code and cases, each case a given state
// to start from and the state expected at the end. Exercises are written as
// TOML files:
//
//   title = "Add two bytes"
//   text = "Add the byte at 1000h to the byte at 1001h ..."
//   starter = "RET"           # optional
//   max_steps = 1000          # optional; the machine's own limit otherwise
//   max_bytes = 32            # optional; a longer program fails every case
//   [[case]]
//   name = "5 + 7"
//   given = "[1000h]=5h,7h"   # optional: the reset state
//   expect = "[1002h]=0Ch"    # a case also expects halt unless it names an outcome
//   points = 1                # optional
//   hidden = false            # optional
//
// and, for the teacher and the tools (none of it reaches a learner's link):
//
//   leaderboard = true        # optional: reports list bytes and steps
//   language = "c"            # optional: programs must be C (.c); "assembly" by default
//   solution = """..."""      # optional: a model solution, full marks
//   [reference]               # optional: graded on every input (Reference.h)
//   [[wrong]]                 # optional: a program that must lose points
//   name = "adds the wrong bytes"
//   source = """..."""
//
// A learner's link leaves the hidden cases out and says how many there
// were (hidden_cases = N). A file with any mistake is refused as a whole,
// with the line and column of the mistake.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Expectations.h"
#include "Reference.h"

namespace mirvo {

struct ExerciseCase {
  std::string name;
  std::string givenText;  // given and expect as the file writes them
  std::string expectText;
  std::vector<Expectation> given;
  std::vector<Expectation> expected;
  unsigned points = 1;
  bool hidden = false;
  bool reference = false;  // the exercise's reference comparison, graded on every input
};

// Where a mistake in an exercise file is: line and column count from 1, the
// column in characters (after a byte-order mark, which editors do not show).
struct ExerciseError {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  std::string message;
};

// A program the teacher wrote to lose points, and the line of its [[wrong]].
struct WrongProgram {
  std::string name;
  std::string source;
  std::uint32_t line = 1;
};

struct Exercise {
  std::string title;
  std::string text;
  std::string starter;
  std::uint64_t maxSteps = kStepLimit;
  std::uint32_t maxBytes = kMemorySize;
  bool leaderboard = false;  // reports list each program's bytes and steps
  bool requiresC = false;    // language = "c": only C programs are graded; the solution and wrong programs are C
  std::vector<ExerciseCase> cases;
  std::string solution;            // a model solution's source; empty: none
  std::uint32_t solutionLine = 0;  // the line of its key
  std::vector<WrongProgram> wrong;
  Reference reference;                  // Present(): the last of the cases compares with it
  unsigned hiddenCases = 0;             // the teacher's cases a learner's copy leaves out
  std::vector<ExerciseError> warnings;  // what the reader went past (a byte-order mark)

  unsigned MaxScore() const;
};

// Reads an exercise file's text, and runs its reference's solution on
// every input from seed. 0, or 1 with error.
int ParseExercise(std::string_view text, Exercise& exercise, ExerciseError& error, std::uint64_t seed = kDefaultSeed);

// The largest points a case may carry, and the largest max_bytes.
inline constexpr std::int64_t kMaxCasePoints = 1000;
// The most cases a learner's copy may say it leaves out.
inline constexpr std::int64_t kMaxHiddenCases = 1000000;

// The exercise as a learner's link carries it: its hidden cases, solution
// and wrong programs left out and counted in hidden_cases. The text is TOML
// that ParseExercise reads back into the same statement and visible cases.
std::string LearnerExerciseText(const Exercise& exercise);
// True when the learner's copy would differ from the teacher's file.
bool HoldsTeacherParts(const Exercise& exercise);

}  // namespace mirvo
