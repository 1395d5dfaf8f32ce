// mirvo check: run a folder of submissions and compare each result with
// the teacher's expectations: one line (or JSON object) per program, then
// the totals.

#include <cstdio>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "ExerciseJson.h"
#include "Grading.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"
#include "Submissions.h"
#include "TextEncoding.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

using Json = nlohmann::ordered_json;

// A program's grade on the one case, and how it was read.
struct Verdict {
  Grade grade;
  LoadResult load = LoadResult::kLoaded;
};

// One program of many is a submission, read without blocking and only if it
// is a file; the learner's one program may be a pipe.
LoadResult Load(const std::string& path, bool oneOfMany, ProgramAs as, Program& program, std::string& reason) {
  if (!oneOfMany) return LoadProgram(path, as, program, reason);
  Submission submission;
  submission.path = submission.name = path;
  std::string cause;
  return LoadSubmission(submission, as, program, reason, cause);
}

Verdict CheckOne(const std::string& path, const Exercise& exercise, const CheckOptions& options) {
  Program program;
  std::string reason;
  const LoadResult load = Load(path, options.files.size() > 1, options.as, program, reason);
  if (load == LoadResult::kCannotRead) return {GradeRefused(exercise, reason), load};
  if (load == LoadResult::kSourceErrors) return {GradeRefused(exercise, FirstErrorText(program)), load};
  return {GradeProgram(exercise, program), load};
}

// Names and sources are the students': shown as VisibleText, so that none
// forges a line or reaches the terminal as a control sequence.
std::string HumanLine(const std::string& path, const Exercise& exercise, const Verdict& verdict) {
  if (verdict.grade.AllPassed()) return "PASS " + VisibleText(path) + "\n";
  std::string line = "FAIL " + VisibleText(path) + ": ";
  const std::vector<std::string> problems = CaseProblems(exercise, verdict.grade, 0, true);
  for (std::size_t i = 0; i < problems.size(); ++i) line += (i > 0 ? "; " : "") + VisibleText(problems[i]);
  return line + "\n";
}

std::string JsonLine(const std::string& path, const Exercise& exercise, const Verdict& verdict) {
  Json mismatches = Json::array();
  if (verdict.load != LoadResult::kLoaded) {
    const bool file = verdict.load == LoadResult::kCannotRead;
    mismatches.push_back({{"what", file ? "file" : "source"},
                          {"expected", file ? "a readable program" : "no errors"},
                          {"actual", verdict.grade.error}});
  }
  // The engine's words for each mismatch, as mirvo test prints them.
  for (Json& mismatch : MismatchesJson(exercise.cases[0].expected, verdict.grade.cases[0].mismatches)) {
    mismatches.push_back(std::move(mismatch));
  }
  return DumpJson({{"file", path}, {"pass", verdict.grade.AllPassed()}, {"mismatches", mismatches}}) + "\n";
}

}  // namespace

int RunCheck(const CheckOptions& options) {
  std::string text = options.expect;
  std::string where = "--expect";
  if (!options.expectFile.empty()) {
    std::string reason;
    if (ReadWholeFile(options.expectFile, text, reason) != 0) {
      Report("%s", reason.c_str());
      return 1;
    }
    where = options.expectFile;
    // As every reader of a text: a UTF-8 mark is skipped, UTF-16 is refused.
    const TextStart start = ReadTextStart(text);
    const bool utf16 = start.mark == TextMark::kUtf16;
    if (start.mark != TextMark::kNone) {
      std::fprintf(stderr, "%s:1:1: %s: %s\n", where.c_str(), utf16 ? "error" : "warning",
                   utf16 ? kUtf16Error : kByteOrderMarkWarning);
    }
    if (utf16) return kUsageExit;
    text.erase(0, start.length);
  }
  // The expectations are a one-case exercise: each program runs once, on a
  // fresh machine, graded as mirvo test grades.
  Exercise exercise;
  exercise.maxSteps = options.maxSteps;
  exercise.cases.resize(1);
  SyntaxError error;
  if (ParseState(text, StateRole::kExpected, exercise.cases[0].expected, error) != 0) {
    // The message quotes the file's text: shown whole, a NUL byte included.
    return ReportUsage("check", "%s: %s", VisibleText(where).c_str(), VisibleText(error.message).c_str());
  }

  Output out;
  out.OpenStandardOutput();
  std::size_t passed = 0;
  for (const std::string& path : options.files) {
    const Verdict verdict = CheckOne(path, exercise, options);
    if (verdict.grade.AllPassed()) ++passed;
    out.Write(options.json ? JsonLine(path, exercise, verdict) : HumanLine(path, exercise, verdict));
    // Each verdict is out before the next program is read.
    out.Flush();
  }
  const std::size_t failed = options.files.size() - passed;
  if (!options.json) out.Write(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed\n");
  if (out.Commit() != 0) return 1;
  return failed == 0 ? 0 : 1;
}

}  // namespace mirvo::cli
