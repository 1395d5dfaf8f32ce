// mirvo test: grade programs against an exercise file, every program on
// every case, into the format the teacher's tools read.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "CommandFiles.h"
#include "Commands.h"
#include "ExerciseFile.h"
#include "ExerciseJson.h"
#include "JsonText.h"
#include "Output.h"
#include "ProgramFile.h"
#include "ProgramShape.h"
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
  shape = ProgramShape(program);
  return GradeProgram(exercise, program);
}

int UsageError(const char* message) {
  std::fprintf(stderr, "%s: %s\nTry '%s test --help' for more information.\n", kProgramName, message, kProgramName);
  return kUsageExit;
}

// What a run of mirvo test grades, and the files it reads and writes.
struct TestPlan {
  Exercise exercise;
  Submissions submissions;
  CommandFiles files;
};

// Refuses the options that choose no programs to grade: 0, or the exit status.
int CheckTestOptions(const TestOptions& options) {
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
  return 0;
}

// Every row is an input, whatever its name: the report goes over none, nor
// through a link a folder holds.
CommandFiles TestFiles(const TestOptions& options, const Submissions& submissions) {
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
  return files;
}

// Reads the exercise, checks the options and gathers the programs. 0, or the
// exit status after saying why nothing is graded.
int PlanTest(const TestOptions& options, TestPlan& plan) {
  if (const int status = ReadExerciseFile(options.exercise, plan.exercise, options.seed); status != 0) return status;
  if (const int status = CheckTestOptions(options); status != 0) return status;
  plan.submissions.Gather({.names = options.files,
                           .exercise = options.exercise,
                           .followLinks = options.followLinks,
                           .byFolder = options.byFolder,
                           .oneSubmission = options.format == ReportFormat::kGradescope,
                           .pick = options.pick});
  // Each file that got no row is said once, before anything is graded.
  for (const Skipped& skipped : plan.submissions.skipped) {
    Report("skipped %s: %s", VisibleText(skipped.path).c_str(), VisibleText(skipped.reason).c_str());
  }
  if (plan.submissions.rows.empty()) {
    // Nothing graded is no class with full marks: an empty folder is a mistake.
    return UsageError("no programs to grade");
  }
  plan.files = TestFiles(options, plan.submissions);
  return RefuseInputsAsOutputs(plan.files) != 0 ? 1 : 0;
}

// Grades every row, in order.
std::vector<GradedFile> GradeAll(const Exercise& exercise, const Submissions& submissions, ProgramAs as) {
  std::vector<GradedFile> graded(submissions.rows.size());
  for (std::size_t i = 0; i < submissions.rows.size(); ++i) {
    const Submission& submission = submissions.rows[i];
    GradedFile& one = graded[i];
    one.file = submission.path;
    one.grade = GradeOne(exercise, submission, as, one.shape);
    one.student = submission.student;
    one.studentId = submission.studentId;
    one.note = submission.note;
  }
  return graded;
}

// The grade of the exercise's own solution, for the class reports to set
// the class beside; none when the exercise has no solution.
std::optional<Grade> SolutionGrade(const Exercise& exercise) {
  if (exercise.solution.empty()) return std::nullopt;
  return GradeProgram(exercise, ExerciseProgram(exercise, exercise.solution));
}

// The JSON lines, and with --summary a last line {"class": ClassJson}.
std::string JsonLines(const TestOptions& options, const Exercise& exercise, const std::vector<GradedFile>& graded) {
  std::string report = JsonReport(exercise, graded, options.showHidden);
  if (!options.summary) return report;
  std::vector<std::string> names;
  for (const GradedFile& one : graded) names.push_back(one.file);
  const std::optional<Grade> solution = SolutionGrade(exercise);
  const nlohmann::ordered_json line = {{"class", ClassJson(exercise, SummariseClass(exercise, graded), names,
                                                           options.showHidden, solution ? &*solution : nullptr)}};
  return report + DumpJson(line) + "\n";
}

// The report in the format asked for; with text and --summary, the summary
// follows it. seconds is how long the grading took (Gradescope shows it).
std::string TestReport(const TestOptions& options, const Exercise& exercise, const std::vector<GradedFile>& graded,
                       unsigned seconds) {
  switch (options.format) {
    case ReportFormat::kText: {
      std::string report = TextReport(exercise, graded, options.showHidden);
      if (options.summary) report += SummaryReport(exercise, graded, options.showHidden);
      return report;
    }
    case ReportFormat::kJson:
      return JsonLines(options, exercise, graded);
    case ReportFormat::kJunit:
      return JunitReport(exercise, graded, options.showHidden);
    case ReportFormat::kTap:
      return TapReport(exercise, graded, options.showHidden, options.tapVersion);
    case ReportFormat::kGradescope:
      return GradescopeReport(exercise, graded.front(), seconds);
    case ReportFormat::kCsv:
      return CsvReport(exercise, graded);
    case ReportFormat::kHtml: {
      const std::optional<Grade> solution = SolutionGrade(exercise);
      return HtmlReport(exercise, graded, options.showHidden, solution ? &*solution : nullptr);
    }
  }
  return {};
}

// Writes the report whole to the output (standard output, or a file that
// appears complete). 0, or 1 after saying why not.
int WriteReport(const std::string& path, const CommandFiles& files, const std::string& report) {
  Output out;
  if (out.Open(path, files) != 0) return 1;
  out.Write(report);
  return out.Commit() != 0 ? 1 : 0;
}

}  // namespace

int RunTest(const TestOptions& options) {
  TestPlan plan;
  if (const int status = PlanTest(options, plan); status != 0) return status;
  const auto start = std::chrono::steady_clock::now();
  const std::vector<GradedFile> graded = GradeAll(plan.exercise, plan.submissions, options.as);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  const std::string report = TestReport(options, plan.exercise, graded, static_cast<unsigned>(seconds.count()));
  if (options.summary && options.format != ReportFormat::kText) {
    // Formats other than text stay clean for the tools that read them: the
    // summary goes to standard error.
    std::fputs(SummaryReport(plan.exercise, graded, options.showHidden).c_str(), stderr);
  }
  if (WriteReport(options.output, plan.files, report) != 0) return 1;
  const bool allPassed =
      std::all_of(graded.begin(), graded.end(), [](const GradedFile& one) { return one.grade.AllPassed(); });
  return allPassed ? 0 : 1;
}

}  // namespace mirvo::cli
