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
          {"language", exercise.requiresC ? "c" : "assembly"},
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

namespace {

Json FilesOf(const std::vector<std::size_t>& grades, const std::vector<std::string>& names) {
  Json files = Json::array();
  for (const std::size_t i : grades) files.push_back(names[i]);
  return files;
}

Json ClassCaseJson(const Exercise& exercise, const ClassSummary& summary, std::size_t i,
                   const std::vector<std::string>& names, bool showHidden) {
  const CaseTally& tally = summary.cases[i];
  const bool details = ShowsDetails(exercise.cases[i], showHidden);
  Json notRun = Json::array();
  for (const CauseCount& cause : tally.notRun) {
    notRun.push_back({{"cause", cause.cause}, {"count", cause.count}, {"files", FilesOf(cause.grades, names)}});
  }
  Json wrong = Json::array();
  for (const WrongResult& result : tally.common) {
    if (details)
      wrong.push_back({{"text", result.text}, {"count", result.count}, {"files", FilesOf(result.grades, names)}});
  }
  return {{"name", CaseLabel(exercise, i, showHidden)},
          {"hidden", !details},
          {"points", exercise.cases[i].points},
          {"passed", tally.passed},
          {"wrong", tally.wrong},
          {"not_run", notRun},
          {"wrong_results", wrong}};
}

}  // namespace

Json ClassJson(const Exercise& exercise, const ClassSummary& summary, const std::vector<std::string>& names,
               bool showHidden, const Grade* solution) {
  Json cases = Json::array();
  for (std::size_t i = 0; i < summary.cases.size(); ++i) {
    cases.push_back(ClassCaseJson(exercise, summary, i, names, showHidden));
  }
  Json passing = Json::array();
  for (const ClassPoint& point : summary.passing) {
    passing.push_back(
        {{"file", names[point.grade]}, {"bytes", point.bytes}, {"steps", point.steps}, {"best", point.best}});
  }
  Json same = Json::array();
  for (const std::vector<std::size_t>& group : summary.same) same.push_back(FilesOf(group, names));
  Json json = {{"programs", names.size()},
               {"max_score", summary.maxScore},
               {"scores", summary.scores},
               {"cases", cases},
               {"passing", passing}};
  if (solution != nullptr && solution->AllPassed()) {
    json["solution"] = {{"bytes", solution->bytes}, {"steps", solution->Steps()}};
  }
  json["same_program"] = same;
  return json;
}

}  // namespace mirvo
