#include "ExerciseJson.h"

#include "EngineJson.h"

namespace mirvo {

namespace {

using Json = nlohmann::ordered_json;

Json Value(const Expectation& item, unsigned value, RunOutcome outcome) {
  if (item.kind == ExpectKind::kOutcome) return OutcomeName(outcome);
  return value;
}

}  // namespace

Json MismatchesJson(const std::vector<Expectation>& expected, const std::vector<Mismatch>& mismatches) {
  Json list = Json::array();
  for (const Mismatch& mismatch : mismatches) {
    const Expectation& item = expected[mismatch.item];
    list.push_back({{"what", WhatOf(item)},
                    {"expected", Value(item, item.value, item.outcome)},
                    {"actual", Value(item, mismatch.actualValue, mismatch.actualOutcome)},
                    {"text", DescribeMismatch(expected, mismatch)}});
  }
  return list;
}

Json ExerciseJson(const Exercise& exercise) {
  Json cases = Json::array();
  for (std::size_t i = 0; i < exercise.cases.size(); ++i) {
    cases.push_back({{"name", CaseLabel(exercise, i, false)},
                     {"points", exercise.cases[i].points},
                     {"hidden", exercise.cases[i].hidden}});
  }
  return {{"title", exercise.title},
          {"text", exercise.text},
          {"starter", exercise.starter},
          {"max_score", exercise.MaxScore()},
          {"hidden_cases", exercise.hiddenCases},
          {"cases", cases}};
}

Json ExerciseErrorJson(const ExerciseError& error) {
  return {{"line", error.line}, {"column", error.column}, {"message", error.message}};
}

Json GradeJson(const Exercise& exercise, const Grade& grade, bool showHidden) {
  Json json = Json::object();
  GradeTotalsInto(grade, json);
  json["cases"] = GradeCasesJson(exercise, grade, showHidden);
  return json;
}

void GradeTotalsInto(const Grade& grade, Json& row) {
  row["score"] = grade.score;
  row["max_score"] = grade.maxScore;
  if (!grade.error.empty()) row["error"] = grade.error;
}

Json GradeCasesJson(const Exercise& exercise, const Grade& grade, bool showHidden) {
  Json cases = Json::array();
  for (std::size_t i = 0; i < grade.cases.size(); ++i) {
    const ExerciseCase& c = exercise.cases[i];
    const CaseResult& result = grade.cases[i];
    const bool details = ShowsDetails(c, showHidden);
    Json entry = {{"name", CaseLabel(exercise, i, showHidden)},
                  {"pass", result.pass},
                  {"points", result.points},
                  {"max_points", c.points},
                  {"hidden", c.hidden},
                  {"outcome", result.outcome == RunOutcome::kRunning ? Json() : Json(OutcomeName(result.outcome))},
                  {"steps", result.steps},
                  {"mismatches", details ? MismatchesJson(ExpectedOf(c, result), result.mismatches) : Json::array()},
                  {"checks", details ? CheckFindingsJson(result.checks) : Json::array()},
                  {"checks_left_out", details ? result.checksLeftOut : 0}};
    if (!grade.error.empty() || !result.error.empty()) {
      entry["error"] = CaseProblems(exercise, grade, i, showHidden).front();
    }
    if (c.reference) {
      const ReferenceResult& reference = result.reference;
      entry["inputs"] = reference.inputs;
      entry["passed_inputs"] = reference.passed;
      entry["smallest_failing"] =
          reference.smallestFailing.empty() ? Json() : Json(WriteInput(reference.smallestFailing));
      // The count and the smallest failing input with what differed, in words.
      entry["problems"] = CaseProblems(exercise, grade, i, showHidden);
    }
    cases.push_back(entry);
  }
  return cases;
}

}  // namespace mirvo
