// mirvo test: grade programs against an exercise file, every program on
// every case, into the format the teacher's tools read.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CommandFiles.h"
#include "Commands.h"
#include "ExerciseFile.h"
#include "Output.h"
#include "ProgramFile.h"
#include "Report.h"
#include "Submissions.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

Grade GradeOne(const Exercise& exercise, const Submission& submission, ProgramAs as, std::string& shape) {
  if (!submission.refused.empty()) return GradeRefused(exercise, submission.refused, submission.cause);
  Program program;
  std::string reason;
  std::string cause;
  switch (LoadSubmission(submission, as, program, reason, cause)) {
    case LoadResult::kLoaded:
      break;
    case LoadResult::kCannotRead:
      return GradeRefused(exercise, reason, cause);
    case LoadResult::kSourceErrors:
      return GradeRefused(exercise, FirstErrorText(program), FirstErrorCode(program));
  }
  shape = program.IsSource() ? SourceShape(program.Assembly()->GetStatements()) : ImageShape(program.Image());
  return GradeProgram(exercise, program);
}

int UsageError(const char* message) {
  std::fprintf(stderr, "%s: %s\nTry '%s test --help' for more information.\n", kProgramName, message, kProgramName);
  return kUsageExit;
}

}  // namespace

int RunTest(const TestOptions& options) {
  Exercise exercise;
  if (const int status = ReadExerciseFile(options.exercise, exercise); status != 0) return status;
  const bool gradescope = options.format == ReportFormat::kGradescope;
  if (gradescope && options.files.size() != 1) {
    std::fprintf(stderr,
                 "%s: --format gradescope grades one program, and %zu were given\n"
                 "Try '%s test --help' for more information.\n",
                 kProgramName, options.files.size(), kProgramName);
    return kUsageExit;
  }
  if (gradescope && options.byFolder) return UsageError("--format gradescope grades one student: no --by-folder");
  if (!options.pick.empty() && !options.byFolder && !gradescope) {
    return UsageError("--pick chooses among a student's programs: it needs --by-folder or --format gradescope");
  }
  Submissions submissions;
  submissions.Gather({.names = options.files,
                      .exercise = options.exercise,
                      .followLinks = options.followLinks,
                      .byFolder = options.byFolder,
                      .oneSubmission = gradescope,
                      .pick = options.pick});
  // Each file that got no row is said once, before anything is graded.
  for (const Skipped& skipped : submissions.skipped) {
    Report("skipped %s: %s", VisibleText(skipped.path).c_str(), VisibleText(skipped.reason).c_str());
  }
  if (submissions.rows.empty()) {
    // Nothing graded is no class with full marks: an empty folder is a mistake.
    return UsageError("no programs to grade");
  }
  // Every row is an input, whatever its name: the report goes over none,
  // nor through a link a folder holds.
  CommandFiles files;
  files.AddInput(options.exercise);
  for (const Submission& submission : submissions.rows) {
    if (submission.from == NameFrom::kCommandLine && submission.refused.empty()) {
      files.AddInput(submission.path);
    } else {
      files.AddFoundInput(submission.path);
    }
  }
  for (const std::string& link : submissions.links) files.AddFoundInput(link);
  AddFileOutput(files, "report", options.output);
  if (RefuseInputsAsOutputs(files) != 0) return 1;

  const auto start = std::chrono::steady_clock::now();
  std::vector<GradedFile> graded(submissions.rows.size());
  bool allPassed = true;
  for (std::size_t i = 0; i < submissions.rows.size(); ++i) {
    const Submission& submission = submissions.rows[i];
    GradedFile& one = graded[i];
    one.file = submission.path;
    one.grade = GradeOne(exercise, submission, options.as, one.shape);
    one.student = submission.student;
    one.studentId = submission.studentId;
    one.note = submission.note;
    allPassed = allPassed && one.grade.AllPassed();
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);

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
      report = TapReport(exercise, graded, options.showHidden, options.tapVersion);
      break;
    case ReportFormat::kGradescope:
      report = GradescopeReport(exercise, graded.front(), static_cast<unsigned>(seconds.count()));
      break;
    case ReportFormat::kCsv:
      report = CsvReport(exercise, graded);
      break;
  }
  if (options.summary) {
    // With text the summary follows the report; other formats stay clean for
    // the tools that read them, and the summary goes to standard error.
    if (options.format == ReportFormat::kText) {
      report += SummaryReport(exercise, graded, options.showHidden);
    } else {
      std::fputs(SummaryReport(exercise, graded, options.showHidden).c_str(), stderr);
    }
  }
  Output out;
  if (out.Open(options.output, files) != 0) return 1;
  out.Write(report);
  if (out.Commit() != 0) return 1;
  return allPassed ? 0 : 1;
}

}  // namespace mirvo::cli
