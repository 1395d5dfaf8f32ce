#pragma once
// The grades of mirvo test in the formats that teachers' tools read: text
// for people, JSON lines, JUnit XML and TAP 14 for CI servers, Gradescope's
// results.json and a CSV gradebook. Pure functions from grades to text.

#include <string>
#include <vector>

#include "Grading.h"

namespace mirvo::cli {

struct GradedFile {
  std::string file;
  Grade grade;
  // The student, when submissions come one folder per student (empty
  // otherwise): the name and the platform's id read from the folder's name.
  std::string student;
  std::string studentId;
  // What the reader of the row should know beside the grade: which of a
  // student's files was graded and what was left aside. Empty for most rows.
  std::string note;
};

// A line per program, PASS or FAIL with its points, then for each failed
// case its name and mismatches (a hidden case only by its number unless
// showHidden); the closing line counts the programs that passed and failed.
std::string TextReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// One JSON object per program per line.
std::string JsonReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// A testsuite per program, a testcase per case.
std::string JunitReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// A test point per program and case, with YAML diagnostics on failures.
std::string TapReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// Gradescope's results.json for one program; hidden cases show after the
// grades are published.
std::string GradescopeReport(const Exercise& exercise, const GradedFile& graded);
// A gradebook: file, score, max_score, then each case's points.
std::string CsvReport(const Exercise& exercise, const std::vector<GradedFile>& graded);
// Per case: how many programs passed, and the commonest wrong results.
std::string SummaryReport(const Exercise& exercise, const std::vector<GradedFile>& graded);

}  // namespace mirvo::cli
