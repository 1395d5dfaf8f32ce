#pragma once
// Grading a program against an exercise: every case on a fresh machine (the
// image at address 0, then the case's given state, then the run), each
// case's points when the run ends as expected.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Exercise.h"
#include "Program.h"
#include "RunChecks.h"

namespace mirvo {

// What one program may leave in its grade, so that no program can make a
// report (or the grader's memory) as large as it likes: the run-time
// checks' findings kept for one case, and for all its cases together. The
// findings past either are only counted (CaseResult::checksLeftOut).
inline constexpr std::size_t kFindingsPerCase = 20;
inline constexpr std::size_t kFindingsPerProgram = 100;

struct CaseResult {
  bool pass = false;
  unsigned points = 0;                        // earned: the case's points if it passed
  RunOutcome outcome = RunOutcome::kRunning;  // kRunning: the case did not run
  std::uint64_t steps = 0;
  std::vector<Mismatch> mismatches;  // into the case's expectations
  std::string error;                 // why the case could not run
  std::vector<CheckFinding> checks;  // what the run-time checks found, when the program was checked
  std::uint64_t checksLeftOut = 0;   // findings past kFindingsPerCase or kFindingsPerProgram, not kept
  ReferenceResult reference;         // of the reference case: mismatches then go into reference.expected
};

// What case c's mismatches go into: its expectations, or for the reference
// case the solution's values at the smallest failing input.
const std::vector<Expectation>& ExpectedOf(const ExerciseCase& c, const CaseResult& result);

struct Grade {
  unsigned score = 0;
  unsigned maxScore = 0;
  std::string error;  // why the program could not run at all; every case then scores 0
  // A short stable name of that cause, for reports that group by it: a
  // diagnostic's code ("not-a-register", "decimal"), or one of the grader's
  // ("unreadable", "not-a-file", "symbolic-link", "too-long", "no-program",
  // "several-programs").
  std::string cause;
  std::vector<CaseResult> cases;
  std::uint32_t bytes = 0;  // the program's length, when it ran

  bool AllPassed() const;
  // The steps of every case's run together.
  std::uint64_t Steps() const;
};

// The one grader of mirvo check, mirvo test and the page: runs the program
// on every case of the exercise, each run watched by the run-time checks
// (the case's given registers counting as written). A source with errors
// ("the source has errors", the cause its first error's code) and an image
// longer than the exercise allows fail every case.
Grade GradeProgram(const Exercise& exercise, const Program& program);
// One of the exercise's own programs (its solution, its reference's, its
// wrong programs): C when the exercise takes C, else assembly.
Program ExerciseProgram(const Exercise& exercise, std::string source);
// The grade of a program that could not be run (unreadable, does not
// assemble): every case 0, for reason.
Grade GradeRefused(const Exercise& exercise, std::string reason, std::string cause = "unreadable");

// How reports name case i: its name, or "case N" for a hidden case whose
// details are withheld (unless showHidden).
std::string CaseLabel(const Exercise& exercise, std::size_t i, bool showHidden);
// True when a report may show the details of a case.
inline bool ShowsDetails(const ExerciseCase& c, bool showHidden) { return !c.hidden || showHidden; }
// Why case i failed, in words: the program's error, the case's error or each
// mismatch ("[1002h] is 0Bh, expected 0Ch"); for the reference case how
// many inputs matched, then the smallest failing input with what differed; for a hidden case whose details
// are withheld only "hidden case failed". Empty when the case passed.
std::vector<std::string> CaseProblems(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden);

// How a class did in one case. A case that could not run (the program's
// error, a given state that clashes with it, a run that never ends) is
// counted by its cause: the grade's cause ("not-a-register", "unreadable"),
// "given-clash" or "never ends". The wrong results are grouped by the whole
// wrong state each program ended in ("[1002h] is 0Bh, A is 05h"), once per
// program, most common first. Each group keeps which grades it holds (their
// indices, in order), so that a report can name them.
struct CauseCount {
  std::string cause;
  unsigned count = 0;
  std::vector<std::size_t> grades;
};
struct WrongResult {
  std::string text;
  unsigned count = 0;
  std::vector<std::size_t> grades;
};
struct CaseTally {
  unsigned passed = 0;
  unsigned wrong = 0;               // ran to its end with a wrong result
  std::vector<CauseCount> notRun;   // by cause, commonest first
  std::vector<WrongResult> common;  // at most `keep`
  unsigned NotRun() const;
};

// One tally per case of the exercise over many grades.
std::vector<CaseTally> TallyCases(const Exercise& exercise, const std::vector<const Grade*>& grades,
                                  std::size_t keep = 3);

}  // namespace mirvo
