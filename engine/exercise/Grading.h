#pragma once
// Grading a program against an exercise: every case on a fresh machine (the
// image at address 0, then the case's given state, then the run), each
// case's points when the run ends as expected.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Exercise.h"
#include "RunChecks.h"

namespace mirvo {

struct CaseResult {
  bool pass = false;
  unsigned points = 0;                        // earned: the case's points if it passed
  RunOutcome outcome = RunOutcome::kRunning;  // kRunning: the case did not run
  std::uint64_t steps = 0;
  std::vector<Mismatch> mismatches;  // into the case's expectations
  std::string error;                 // why the case could not run
  std::vector<CheckFinding> checks;  // what the run-time checks found, when the program was checked
};

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

  bool AllPassed() const;
};

// Runs the image on every case of the exercise. An image longer than the
// exercise allows fails every case. With checked (the program's statements,
// if known), each run is watched by the run-time checks, each case's given
// registers counting as written.
Grade GradeProgram(const Exercise& exercise, const std::uint8_t* image, std::size_t size,
                   const CheckedProgram* checked = nullptr);
// The grade of a program that could not be run (unreadable, does not
// assemble): every case 0, for reason.
Grade GradeRefused(const Exercise& exercise, std::string reason, std::string cause = "unreadable");

// How reports name case i: its name, or "case N" for a hidden case whose
// details are withheld (unless showHidden).
std::string CaseLabel(const Exercise& exercise, std::size_t i, bool showHidden);
// True when a report may show the details of a case.
inline bool ShowsDetails(const ExerciseCase& c, bool showHidden) { return !c.hidden || showHidden; }
// Why case i failed, in words: the program's error, the case's error or each
// mismatch ("[1002h] is 0Bh, expected 0Ch"); for a hidden case whose details
// are withheld only "hidden case failed". Empty when the case passed.
std::vector<std::string> CaseProblems(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden);

// What a class got wrong in one case: a wrong result in words ("[1002h] is
// 0Bh", "outcome is step-limit", "could not run") and how many programs had it.
struct WrongResult {
  std::string text;
  unsigned count = 0;
};
struct CaseTally {
  unsigned passed = 0;
  unsigned failed = 0;
  std::vector<WrongResult> common;  // most common first, at most `keep`
};

// One tally per case of the exercise over many grades.
std::vector<CaseTally> TallyCases(const Exercise& exercise, const std::vector<Grade>& grades, std::size_t keep = 3);

}  // namespace mirvo
