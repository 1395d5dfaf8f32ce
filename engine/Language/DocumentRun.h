#pragma once
// A source as an editor shows its run: the program runs from the state its
// "; mirvo: given B=5h [1000h]=7h,8h" comment (or the editor's setting)
// gives, watched by the run-time checks, and each statement keeps what its
// first step changed. Without jumps the program counter only moves on, so
// every statement runs at most once before the first wrap past FFFFh: that
// step is the one a statement shows.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Program.h"
#include "RunChecks.h"
#include "RunLoop.h"

namespace mirvo {

// The steps an editor's run may take: far more than a program without
// jumps takes before it halts, and still quick.
inline constexpr std::uint64_t kDocumentStepLimit = 10'000'000;
// The findings kept of one run; later ones are counted.
inline constexpr std::size_t kDocumentFindings = 1000;

// The first step of a statement, worded only when an editor shows it.
struct StatementStep {
  bool ran = false;
  StepRecord record{};
};
// What it changed: "A 00h→50h, Z 0→1", or "nothing changed".
std::string StepChanges(const StatementStep& step);

// Why the given state was not used: its place and the reason.
struct GivenProblem {
  std::int32_t line = 0;    // 1-based; 0 when the state came from the setting
  std::int32_t column = 0;  // 1-based byte column, 0 for the whole line
  std::int32_t length = 0;
  std::string message;
};

struct DocumentRun {
  bool ran = false;  // false for a source with errors or a given state refused
  RunOutcome outcome = RunOutcome::kRunning;
  std::uint64_t steps = 0;
  std::string outcomeText;  // "halted by the RET at 000Ch after 9 steps"
  // By index of the assembly's statements (GetStatements()).
  std::vector<StatementStep> statements;
  std::vector<CheckFinding> findings;
  std::uint64_t findingsLeftOut = 0;
  std::vector<GivenProblem> problems;
};

// The given comment of text: the state text after the marker on the first
// comment line that holds it, its line and the byte column where it starts.
// False when there is none.
struct GivenComment {
  std::int32_t line = 0;
  std::int32_t column = 0;
  std::string_view state;
};
bool FindGivenComment(std::string_view text, GivenComment& found);

// Runs a source's program for at most stepLimit steps, from the state of its
// given comment, or else of setting (the same syntax; empty for none).
DocumentRun RunDocument(const Program& program, std::string_view setting, std::uint64_t stepLimit = kDocumentStepLimit);

}  // namespace mirvo
