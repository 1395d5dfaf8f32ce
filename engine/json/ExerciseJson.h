#pragma once
// Exercises and grades as JSON values: the one serialisation that mirvo test
// --format json prints and the page reads from the WebAssembly engine.

#include <nlohmann/json.hpp>
#include <vector>

#include "ClassSummary.h"
#include "Grading.h"

namespace mirvo {

// Mismatches as [{"what", "expected", "actual", "text"}]: values as numbers
// (an outcome by its name), text as reports word it.
nlohmann::ordered_json MismatchesJson(const std::vector<Expectation>& expected,
                                      const std::vector<Mismatch>& mismatches);

// An exercise as a learner may see it: {"title", "text", "starter",
// "language" ("c" when only C programs are graded, else "assembly"),
// "max_score", "hidden_cases" (the teacher's cases a learner's copy left
// out), "cases": [{"name", "points", "hidden"}]}, hidden cases named only by
// their number.
nlohmann::ordered_json ExerciseJson(const Exercise& exercise);
// A mistake in an exercise file: {"line", "column", "message"}.
nlohmann::ordered_json ExerciseErrorJson(const ExerciseError& error);

// A grade: {"score", "max_score", "error" (when the program could not run),
// "cases": GradeCasesJson}. A report row puts its own members among them
// (GradeTotalsInto, then GradeCasesJson).
nlohmann::ordered_json GradeJson(const Exercise& exercise, const Grade& grade, bool showHidden);
// The grade's "score", "max_score" and "error" (when the program could not
// run), added to row.
void GradeTotalsInto(const Grade& grade, nlohmann::ordered_json& row);
// The grade's cases: [{"name", "pass", "points", "max_points", "hidden",
// "outcome" (null when the case did not run), "steps", "mismatches",
// "checks" (the run-time checks' findings, as CheckFindingsJson, as many as
// the grade keeps), "checks_left_out" (the findings past them), "error"
// (when the case could not run)}]. A hidden case's name and details are
// withheld unless showHidden.
nlohmann::ordered_json GradeCasesJson(const Exercise& exercise, const Grade& grade, bool showHidden);

// What a class did (ClassSummary), each grade named by names[i]:
// {"programs", "max_score", "scores": [the programs that scored 0, 1, ...],
//  "cases": [{"name", "hidden", "points", "passed", "wrong" (ran to a wrong
//   end), "not_run": [{"cause", "count", "files"}], "wrong_results":
//   [{"text", "count", "files"}] (none for a hidden case unless showHidden)}],
//  "passing": [{"file", "bytes", "steps", "best" (on the Pareto front)}],
//  "solution": {"bytes", "steps"} (when a solution's grade passed),
//  "same_program": [[files that are one program], ...]}.
nlohmann::ordered_json ClassJson(const Exercise& exercise, const ClassSummary& summary,
                                 const std::vector<std::string>& names, bool showHidden, const Grade* solution);

}  // namespace mirvo
