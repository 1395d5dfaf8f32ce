#include "Grading.h"

#include <algorithm>
#include <map>
#include <memory>

#include "ProgramImage.h"

namespace mirvo {

bool Grade::AllPassed() const {
  if (!error.empty()) return false;
  return std::all_of(cases.begin(), cases.end(), [](const CaseResult& result) { return result.pass; });
}

namespace {

CaseResult RunCase(const Exercise& exercise, const ExerciseCase& c, const std::uint8_t* image, std::size_t size,
                   const CheckedProgram* checked) {
  CaseResult result;
  const auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, image, size);
  const Expectation* conflict = nullptr;
  if (ApplyGiven(c.given, size, *machine, &conflict) != 0) {
    result.error = DescribeConflict(*conflict, size);
    return result;
  }
  if (checked == nullptr) {
    result.outcome = RunToEnd(*machine, exercise.maxSteps, &result.steps);
  } else {
    CheckedProgram program = *checked;
    program.givenRegisters = GivenRegisters(c.given);
    RunChecks checks(std::move(program), kAllChecks);
    Run run(*machine, exercise.maxSteps);
    while (checks.Resume(run, UINT64_MAX) == RunOutcome::kRunning) {
    }
    result.outcome = run.Outcome();
    result.steps = run.Steps();
    result.checks = checks.Findings();
  }
  result.mismatches = Compare(c.expected, *machine, result.outcome);
  result.pass = result.mismatches.empty();
  result.points = result.pass ? c.points : 0;
  return result;
}

}  // namespace

Grade GradeProgram(const Exercise& exercise, const std::uint8_t* image, std::size_t size,
                   const CheckedProgram* checked) {
  if (size > exercise.maxBytes) {
    return GradeRefused(exercise, "the program is " + std::to_string(size) + " bytes long; this exercise allows at most " +
                                      std::to_string(exercise.maxBytes),
                        "too-long");
  }
  Grade grade;
  grade.maxScore = exercise.MaxScore();
  for (const ExerciseCase& c : exercise.cases) {
    grade.cases.push_back(RunCase(exercise, c, image, size, checked));
    grade.score += grade.cases.back().points;
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
  for (const Mismatch& mismatch : result.mismatches) problems.push_back(DescribeMismatch(c.expected, mismatch));
  return problems;
}

std::vector<CaseTally> TallyCases(const Exercise& exercise, const std::vector<Grade>& grades, std::size_t keep) {
  std::vector<CaseTally> tallies(exercise.cases.size());
  for (std::size_t i = 0; i < tallies.size(); ++i) {
    std::map<std::string, unsigned> counts;
    for (const Grade& grade : grades) {
      const CaseResult& result = grade.cases[i];
      if (result.pass) {
        ++tallies[i].passed;
        continue;
      }
      ++tallies[i].failed;
      if (!grade.error.empty() || !result.error.empty()) {
        ++counts["could not run"];
        continue;
      }
      for (const Mismatch& mismatch : result.mismatches) {
        const Expectation& item = exercise.cases[i].expected[mismatch.item];
        ++counts[WhatOf(item) + " is " + ShowValue(item, mismatch.actualValue, mismatch.actualOutcome)];
      }
    }
    std::vector<WrongResult> common;
    for (const auto& [text, count] : counts) common.push_back({text, count});
    std::stable_sort(common.begin(), common.end(),
                     [](const WrongResult& a, const WrongResult& b) { return a.count > b.count; });
    if (common.size() > keep) common.resize(keep);
    tallies[i].common = std::move(common);
  }
  return tallies;
}

}  // namespace mirvo
