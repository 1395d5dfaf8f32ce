// mirvo test: grade programs against an exercise file, every program on
// every case, into the format the teacher's tools read.

#include <cstdio>
#include <string>
#include <vector>

#include "CommandFiles.h"
#include "Commands.h"
#include "ExerciseFile.h"
#include "Folder.h"
#include "Output.h"
#include "Program.h"
#include "Report.h"

namespace mirvo::cli {

namespace {

struct Submission {
  std::string path;
  std::string unreadable;  // why a folder could not be listed
};

// The programs named: a folder stands for the files in it, except the
// exercise file and the report, which are no programs.
std::vector<Submission> Submissions(const TestOptions& options) {
  std::vector<Submission> submissions;
  for (const std::string& name : options.files) {
    if (!IsFolder(name.c_str())) {
      submissions.push_back({name, ""});
      continue;
    }
    std::vector<std::string> names;
    std::string reason;
    if (ListFiles(name.c_str(), names, reason) != 0) {
      submissions.push_back({name, "cannot read the folder " + name + ": " + reason});
      continue;
    }
    for (const std::string& file : names) {
      const std::string path = (name.back() == '/' ? name : name + "/") + file;
      if (IsSameFile(path.c_str(), options.exercise.c_str())) continue;
      if (!options.output.empty() && IsSameFile(path.c_str(), options.output.c_str())) continue;
      submissions.push_back({path, ""});
    }
  }
  return submissions;
}

Grade GradeOne(const Exercise& exercise, const Submission& submission, ProgramAs as) {
  if (!submission.unreadable.empty()) return GradeRefused(exercise, submission.unreadable);
  LoadedProgram program;
  std::string reason;
  switch (LoadProgram(submission.path, as, program, reason)) {
    case LoadResult::kLoaded:
      break;
    case LoadResult::kCannotRead:
      return GradeRefused(exercise, reason);
    case LoadResult::kSourceErrors:
      return GradeRefused(exercise, FirstErrorText(program.source), FirstErrorCode(program.source));
  }
  // Each case's run is watched by the run-time checks, whose findings are
  // part of the feedback.
  CheckedProgram checked;
  if (program.fromSource) {
    checked = ProgramOf(*program.source.assembler);
  } else {
    checked.imageLength = static_cast<std::uint32_t>(program.bytes.size());
  }
  return GradeProgram(exercise, program.bytes.data(), program.bytes.size(), &checked);
}

}  // namespace

int RunTest(const TestOptions& options) {
  Exercise exercise;
  if (const int status = ReadExerciseFile(options.exercise, exercise); status != 0) return status;
  const std::vector<Submission> submissions = Submissions(options);
  if (submissions.empty()) {
    // Nothing graded is no class with full marks: an empty folder is a mistake.
    std::fprintf(stderr, "%s: no programs to grade\nTry '%s test --help' for more information.\n", kProgramName,
                 kProgramName);
    return kUsageExit;
  }
  if (options.format == ReportFormat::kGradescope && submissions.size() != 1) {
    std::fprintf(stderr,
                 "%s: --format gradescope grades one program, and %zu were given\n"
                 "Try '%s test --help' for more information.\n",
                 kProgramName, submissions.size(), kProgramName);
    return kUsageExit;
  }
  CommandFiles files;
  files.AddInput(options.exercise);
  for (const Submission& submission : submissions) files.AddInput(submission.path);
  AddFileOutput(files, "report", options.output);
  if (RefuseInputsAsOutputs(files) != 0) return 1;

  std::vector<GradedFile> graded;
  graded.reserve(submissions.size());
  bool allPassed = true;
  for (const Submission& submission : submissions) {
    graded.push_back({submission.path, GradeOne(exercise, submission, options.as), {}, {}});
    allPassed = allPassed && graded.back().grade.AllPassed();
  }

  std::string report;
  switch (options.format) {
    case ReportFormat::kText:
      report = TextReport(exercise, graded, options.showHidden);
      break;
    case ReportFormat::kJson:
      report = JsonReport(exercise, graded, options.showHidden);
      break;
    case ReportFormat::kJunit:
      report = JunitReport(exercise, graded, options.showHidden);
      break;
    case ReportFormat::kTap:
      report = TapReport(exercise, graded, options.showHidden);
      break;
    case ReportFormat::kGradescope:
      report = GradescopeReport(exercise, graded.front());
      break;
    case ReportFormat::kCsv:
      report = CsvReport(exercise, graded);
      break;
  }
  if (options.summary) {
    // With text the summary follows the report; other formats stay clean for
    // the tools that read them, and the summary goes to standard error.
    if (options.format == ReportFormat::kText) {
      report += SummaryReport(exercise, graded);
    } else {
      std::fputs(SummaryReport(exercise, graded).c_str(), stderr);
    }
  }
  Output out;
  if (out.Open(options.output, files) != 0) return 1;
  out.Write(report);
  if (out.Commit() != 0) return 1;
  return allPassed ? 0 : 1;
}

}  // namespace mirvo::cli
