#pragma once
// Exercises and grades as JSON text: the one serialisation that mirvo test
// --format json prints and the page reads from the WebAssembly engine.

#include <string>
#include <vector>

#include "Grading.h"

namespace mirvo {

// Mismatches as [{"what", "expected", "actual", "text"}]: values as numbers
// (an outcome by its name), text as reports word it.
std::string MismatchesJson(const std::vector<Expectation>& expected, const std::vector<Mismatch>& mismatches);

// An exercise as a learner may see it: {"title", "text", "starter",
// "max_score", "hidden_cases" (the teacher's cases a learner's copy left
// out), "cases": [{"name", "points", "hidden"}]}, hidden cases named only by
// their number.
std::string ExerciseJson(const Exercise& exercise);
// A mistake in an exercise file: {"line", "column", "message"}.
std::string ExerciseErrorJson(const ExerciseError& error);

// A grade: {"file" (when given), "score", "max_score", "error" (when the
// program could not run), "cases": [{"name", "pass", "points",
// "max_points", "hidden", "outcome" (null when the case did not run),
// "steps", "mismatches", "checks" (the run-time checks' findings, as
// CheckFindingsJson, as many as the grade keeps), "checks_left_out" (the
// findings past them), "error" (when the case could not run)}]}. A hidden
// case's name and details are withheld unless showHidden.
std::string GradeJson(const Exercise& exercise, const Grade& grade, bool showHidden, const std::string* file = nullptr);

}  // namespace mirvo
