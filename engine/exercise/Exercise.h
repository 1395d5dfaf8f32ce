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
// A file with any mistake is refused as a whole, with the line and column
// of the mistake.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Expectations.h"

namespace mirvo {

struct ExerciseCase {
  std::string name;
  std::vector<Expectation> given;
  std::vector<Expectation> expected;
  unsigned points = 1;
  bool hidden = false;
};

struct Exercise {
  std::string title;
  std::string text;
  std::string starter;
  std::uint64_t maxSteps = kStepLimit;
  std::uint32_t maxBytes = kMemorySize;
  bool leaderboard = false;  // reports list each program's bytes and steps
  std::vector<ExerciseCase> cases;

  unsigned MaxScore() const;
};

// Where a mistake in an exercise file is: line and column count from 1, the
// column in characters.
struct ExerciseError {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  std::string message;
};

// Reads an exercise file's text. 0, or 1 with error.
int ParseExercise(std::string_view text, Exercise& exercise, ExerciseError& error);

// The largest points a case may carry, and the largest max_bytes.
inline constexpr std::int64_t kMaxCasePoints = 1000;

}  // namespace mirvo
