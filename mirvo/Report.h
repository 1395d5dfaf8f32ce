#pragma once
// The grades of mirvo test in the formats that teachers' tools read: text
// for people, JSON lines, JUnit XML and TAP (13 or 14) for CI servers,
// Gradescope's results.json and a CSV gradebook. Pure functions from grades
// to text. Every name and message is written by its format's rule of
// TextEscape.h, and a program's checks as far as its grade keeps them
// (kFindingsPerCase, kFindingsPerProgram), then their count left out.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ClassSummary.h"
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
  // The program once comments, spacing and register names are set aside,
  // as a short digest (ProgramShape.h); empty when it has none.
  std::string shape;
};

// A line per program, PASS or FAIL with its points, then for each failed
// case its name and mismatches (a hidden case only by its number unless
// showHidden); the closing line counts the programs that passed and failed.
std::string TextReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// One JSON object per program per line.
std::string JsonReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// A testsuite per program, a testcase per case with its points and
// max_points as properties.
std::string JunitReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// A test point per program and case, each with a YAML block of its points
// and max_points, and on a failure why. tapVersion 13 or 14: the header
// line; nothing else the report uses differs between them.
std::string TapReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden,
                      int tapVersion = 14);
// Gradescope's results.json for one program, its output as plain text;
// hidden cases show after the grades are published. seconds: how long the
// grading took. With exercise.leaderboard, a program with full marks goes
// on the leaderboard by its bytes and its steps, fewer first.
std::string GradescopeReport(const Exercise& exercise, const GradedFile& graded, unsigned seconds = 0);
// A gradebook: file, score, max_score, then each case's points.
std::string CsvReport(const Exercise& exercise, const std::vector<GradedFile>& graded);
// The class's grades as one page that opens from disk (HtmlReport.cpp): the
// scores and each case's share of passes as bars, what went wrong in each
// case grouped by cause with its students, bytes against steps of the
// programs that passed (the best marked, and solution's point when it is
// given and passed), the programs that are one program, and a row per
// program that opens to its cases. Sortable by a small script; readable
// without it.
std::string HtmlReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden,
                       const Grade* solution);
// "1 program", "3 programs": count and the word that goes with it.
std::string Counted(std::size_t count, const char* one, const char* many);
// The run-time checks of case i as its grade keeps them, one line each:
// "warning: line 3: ADD B reads B, ... [-Wunset-read]", then "... and 12
// more warnings" for those left out; none for a case whose details are
// withheld.
std::vector<std::string> CaseCheckLines(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden);
// What a teacher acts on (Summary.cpp). Per case: how many programs passed,
// failed and could not run (by cause), and the commonest wrong end states;
// a hidden case only by its number and counts unless showHidden. For the
// class: a histogram of the scores, their mean and median, the bytes and
// steps of the programs that passed, and the groups of files that are the
// same program (shape).
std::string SummaryReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden);
// The class's summary (ClassSummary.h) over graded, each case's commonest
// keep wrong results kept.
ClassSummary SummariseClass(const Exercise& exercise, const std::vector<GradedFile>& graded, std::size_t keep = 3);

}  // namespace mirvo::cli
