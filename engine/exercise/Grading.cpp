#include "Grading.h"

#include <algorithm>
#include <map>
#include <memory>

#include "Diagnostic.h"
#include "ProgramImage.h"

namespace mirvo {

bool Grade::AllPassed() const {
  if (!error.empty()) return false;
  return std::all_of(cases.begin(), cases.end(), [](const CaseResult& result) { return result.pass; });
}

std::uint64_t Grade::Steps() const {
  std::uint64_t steps = 0;
  for (const CaseResult& result : cases) steps += result.steps;
  return steps;
}

unsigned CaseTally::NotRun() const {
  unsigned count = 0;
  for (const CauseCount& cause : notRun) count += cause.count;
  return count;
}

const std::vector<Expectation>& ExpectedOf(const ExerciseCase& c, const CaseResult& result) {
  return c.reference ? result.reference.expected : c.expected;
}

namespace {

// The reference case: every input against the solution; partial credit by
// the share passed when the exercise allows it.
CaseResult RunReferenceCase(const Exercise& exercise, const ExerciseCase& c, const Program& program) {
  CaseResult result;
  result.reference = GradeAgainstReference(exercise.reference, program.Image(), exercise.maxSteps);
  const ReferenceResult& reference = result.reference;
  result.error = reference.error;
  result.pass = reference.error.empty() && reference.passed == reference.inputs;
  result.outcome = !reference.error.empty() ? RunOutcome::kRunning
                   : result.pass            ? RunOutcome::kHalted
                                            : reference.outcome;
  result.mismatches = reference.mismatches;
  result.points = result.pass ? c.points : 0;
  if (!result.pass && exercise.reference.partial && reference.inputs > 0) {
    result.points = static_cast<unsigned>(c.points * reference.passed / reference.inputs);
  }
  return result;
}

// keep: the findings this case may keep.
CaseResult RunCase(const Exercise& exercise, const ExerciseCase& c, const Program& program, std::size_t keep) {
  if (c.reference) return RunReferenceCase(exercise, c, program);
  CaseResult result;
  const std::span<const std::uint8_t> image = program.Image();
  const auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, image.data(), image.size());
  const Expectation* conflict = nullptr;
  if (ApplyGiven(c.given, image.size(), *machine, &conflict) != 0) {
    result.error = DescribeConflict(*conflict, image.size());
    return result;
  }
  RunChecks checks(program.Checked(GivenRegisters(c.given)), kAllChecks);
  checks.KeepAtMost(keep);
  Run run(*machine, exercise.maxSteps);
  while (checks.Resume(run, UINT64_MAX) == RunOutcome::kRunning) {
  }
  result.outcome = run.Outcome();
  result.steps = run.Steps();
  result.checks = checks.Findings();
  result.checksLeftOut = checks.LeftOut();
  result.mismatches = Compare(c.expected, *machine, result.outcome);
  result.pass = result.mismatches.empty();
  result.points = result.pass ? c.points : 0;
  return result;
}

}  // namespace

Program ExerciseProgram(const Exercise& exercise, std::string source) {
  return Program::FromSource(exercise.requiresC ? "solution.c" : "solution", std::move(source));
}

Grade GradeProgram(const Exercise& exercise, const Program& program) {
  if (exercise.requiresC && !program.IsC()) {
    return GradeRefused(exercise, "this exercise takes a C program (a .c file)", "not-c");
  }
  if (program.HasErrors()) {
    const Diagnostic* const error = program.FirstError();
    return GradeRefused(exercise, "the source has errors", error ? DiagnosticCode(error->kind) : "not-compiled");
  }
  const std::size_t size = program.Image().size();
  if (size > exercise.maxBytes) {
    return GradeRefused(exercise,
                        "the program is " + std::to_string(size) + " bytes long; this exercise allows at most " +
                            std::to_string(exercise.maxBytes),
                        "too-long");
  }
  Grade grade;
  grade.maxScore = exercise.MaxScore();
  grade.bytes = static_cast<std::uint32_t>(size);
  std::size_t kept = 0;
  for (const ExerciseCase& c : exercise.cases) {
    const std::size_t keep = std::min(kFindingsPerCase, kFindingsPerProgram - kept);
    grade.cases.push_back(RunCase(exercise, c, program, keep));
    grade.score += grade.cases.back().points;
    kept += grade.cases.back().checks.size();
  }
  return grade;
}

Grade GradeRefused(const Exercise& exercise, std::string reason, std::string cause) {
  Grade grade;
  grade.maxScore = exercise.MaxScore();
  grade.error = std::move(reason);
  grade.cause = std::move(cause);
  grade.cases.resize(exercise.cases.size());
  return grade;
}

std::string CaseLabel(const Exercise& exercise, std::size_t i, bool showHidden) {
  return ShowsDetails(exercise.cases[i], showHidden) ? exercise.cases[i].name : "case " + std::to_string(i + 1);
}

std::vector<std::string> CaseProblems(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden) {
  const ExerciseCase& c = exercise.cases[i];
  const CaseResult& result = grade.cases[i];
  if (result.pass) return {};
  if (!grade.error.empty()) return {grade.error};
  if (!ShowsDetails(c, showHidden)) return {"hidden case failed"};
  if (!result.error.empty()) return {result.error};
  std::vector<std::string> problems;
  for (const Mismatch& mismatch : result.mismatches) {
    problems.push_back(DescribeMismatch(ExpectedOf(c, result), mismatch));
  }
  if (!c.reference) return problems;
  // "[1000h]=0FFh [1001h]=01h: [1002h] is 0FFh, expected 00h".
  std::string differed = "smallest failing input " + WriteInput(result.reference.smallestFailing) + ":";
  for (std::size_t k = 0; k < problems.size(); ++k) differed += (k == 0 ? " " : ", ") + problems[k];
  return {DescribeMatches(result.reference), differed};
}

namespace {

// Why case i of grade could not run, or "" when it ran to its end.
std::string NotRunCause(const ExerciseCase& c, const Grade& grade, std::size_t i) {
  const CaseResult& result = grade.cases[i];
  if (!grade.error.empty()) return grade.cause.empty() ? "unreadable" : grade.cause;
  if (!result.error.empty()) return "given-clash";
  for (const Mismatch& mismatch : result.mismatches) {
    const Expectation& item = ExpectedOf(c, result)[mismatch.item];
    if (item.kind == ExpectKind::kOutcome && item.outcome == RunOutcome::kHalted &&
        mismatch.actualOutcome != RunOutcome::kHalted) {
      return "never ends";
    }
  }
  return "";
}

// The whole wrong state of a case that ran: "[1002h] is 0Bh, A is 05h".
std::string WrongState(const ExerciseCase& c, const CaseResult& result) {
  std::string text;
  for (const Mismatch& mismatch : result.mismatches) {
    const Expectation& item = ExpectedOf(c, result)[mismatch.item];
    text += (text.empty() ? "" : ", ") + WhatOf(item) + " is " +
            ShowValue(item, mismatch.actualValue, mismatch.actualOutcome);
  }
  return text;
}

// The counts of a map, commonest first (ties in the map's order).
template <typename T>
std::vector<T> Commonest(const std::map<std::string, std::vector<std::size_t>>& groups, std::size_t keep) {
  std::vector<T> list;
  for (const auto& [text, members] : groups) list.push_back({text, static_cast<unsigned>(members.size()), members});
  std::stable_sort(list.begin(), list.end(), [](const T& a, const T& b) { return a.count > b.count; });
  if (list.size() > keep) list.resize(keep);
  return list;
}

}  // namespace

std::vector<CaseTally> TallyCases(const Exercise& exercise, const std::vector<const Grade*>& grades, std::size_t keep) {
  std::vector<CaseTally> tallies(exercise.cases.size());
  for (std::size_t i = 0; i < tallies.size(); ++i) {
    const ExerciseCase& c = exercise.cases[i];
    std::map<std::string, std::vector<std::size_t>> causes;
    std::map<std::string, std::vector<std::size_t>> states;
    for (std::size_t g = 0; g < grades.size(); ++g) {
      const Grade& grade = *grades[g];
      const CaseResult& result = grade.cases[i];
      if (result.pass) {
        ++tallies[i].passed;
      } else if (const std::string cause = NotRunCause(c, grade, i); !cause.empty()) {
        causes[cause].push_back(g);
      } else {
        ++tallies[i].wrong;
        states[WrongState(c, result)].push_back(g);
      }
    }
    tallies[i].notRun = Commonest<CauseCount>(causes, causes.size());
    tallies[i].common = Commonest<WrongResult>(states, keep);
  }
  return tallies;
}

}  // namespace mirvo
