// mirvo check: run a folder of submissions and compare each result with
// the teacher's expectations: one line (or JSON object) per program, then
// the totals.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "ExerciseJson.h"
#include "JsonText.h"
#include "Expectations.h"
#include "Output.h"
#include "Program.h"
#include "Submissions.h"
#include "TextEncoding.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

struct Verdict {
  bool pass = false;
  std::string failure;  // why the program could not be run at all
  std::string failureWhat;
  std::vector<Mismatch> mismatches;
};

// One program of many is a submission, read without blocking and only if it
// is a file; the learner's one program may be a pipe.
LoadResult Load(const std::string& path, bool oneOfMany, ProgramAs as, LoadedProgram& program, std::string& reason) {
  if (!oneOfMany) return LoadProgram(path, as, program, reason);
  Submission submission;
  submission.path = submission.name = path;
  std::string cause;
  return LoadSubmission(submission, as, program, reason, cause);
}

Verdict CheckOne(const std::string& path, const std::vector<Expectation>& expectations, const CheckOptions& options) {
  Verdict verdict;
  LoadedProgram program;
  std::string reason;
  switch (Load(path, options.files.size() > 1, options.as, program, reason)) {
    case LoadResult::kLoaded:
      break;
    case LoadResult::kCannotRead:
      verdict.failureWhat = "file";
      verdict.failure = reason;
      return verdict;
    case LoadResult::kSourceErrors: {
      verdict.failureWhat = "source";
      verdict.failure = FirstErrorText(program.source);
      return verdict;
    }
  }
  const auto machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, program.bytes.data(), program.bytes.size());
  const RunOutcome outcome = RunToEnd(*machine, options.maxSteps);
  verdict.mismatches = Compare(expectations, *machine, outcome);
  verdict.pass = verdict.mismatches.empty();
  return verdict;
}

// Names and sources are the students': shown as VisibleText, so that none
// forges a line or reaches the terminal as a control sequence.
std::string HumanLine(const std::string& path, const std::vector<Expectation>& expectations, const Verdict& verdict) {
  if (verdict.pass) return "PASS " + VisibleText(path) + "\n";
  std::string line = "FAIL " + VisibleText(path) + ": ";
  if (!verdict.failure.empty()) return line + VisibleText(verdict.failure) + "\n";
  for (std::size_t i = 0; i < verdict.mismatches.size(); ++i) {
    if (i > 0) line += "; ";
    line += DescribeMismatch(expectations, verdict.mismatches[i]);
  }
  return line + "\n";
}

std::string JsonLine(const std::string& path, const std::vector<Expectation>& expectations, const Verdict& verdict) {
  nlohmann::ordered_json mismatches = nlohmann::ordered_json::array();
  if (!verdict.failure.empty()) {
    mismatches.push_back({{"what", verdict.failureWhat},
                          {"expected", verdict.failureWhat == "file" ? "a readable program" : "no errors"},
                          {"actual", verdict.failure}});
  }
  // The engine's words for each mismatch, as mirvo test prints them.
  for (const auto& mismatch : nlohmann::ordered_json::parse(MismatchesJson(expectations, verdict.mismatches))) {
    mismatches.push_back(mismatch);
  }
  const nlohmann::ordered_json line = {{"file", path}, {"pass", verdict.pass}, {"mismatches", mismatches}};
  return DumpJson(line) + "\n";
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
  std::vector<Expectation> expectations;
  SyntaxError error;
  if (ParseState(text, StateRole::kExpected, expectations, error) != 0) {
    std::fprintf(stderr, "%s: %s: %s\nTry '%s check --help' for more information.\n", kProgramName, where.c_str(),
                 error.message.c_str(), kProgramName);
    return kUsageExit;
  }

  Output out;
  out.OpenStandardOutput();
  std::size_t passed = 0;
  for (const std::string& path : options.files) {
    const Verdict verdict = CheckOne(path, expectations, options);
    if (verdict.pass) ++passed;
    out.Write(options.json ? JsonLine(path, expectations, verdict) : HumanLine(path, expectations, verdict));
    // Each verdict is out before the next program is read.
    out.Flush();
  }
  const std::size_t failed = options.files.size() - passed;
  if (!options.json) out.Write(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed\n");
  if (out.Commit() != 0) return 1;
  return failed == 0 ? 0 : 1;
}

}  // namespace mirvo::cli
