// mirvo test's options: the exercise, the programs or folders of them, the
// report, how a class is gathered, and --validate.

#include "CommandOptions.h"

namespace mirvo::cli {

AfterParse DeclareTest(CLI::App& app, TestOptions& options) {
  app.add_option("EXERCISE", options.exercise, "Exercise file (.toml)")->required();
  app.add_option("FILE", options.files, "Programs (sources or images), or folders of them");
  AddChoice(app, "--format", options.format,
            {{"text", ReportFormat::kText},
             {"json", ReportFormat::kJson},
             {"junit", ReportFormat::kJunit},
             {"tap", ReportFormat::kTap},
             {"gradescope", ReportFormat::kGradescope},
             {"csv", ReportFormat::kCsv},
             {"html", ReportFormat::kHtml}},
            "Report format (default text)");
  app.add_option("-o,--output", options.output, "Write the report to FILE (default: standard output)")
      ->type_name("FILE");
  app.add_flag("--summary", options.summary,
               "What the class did: per case and cause, scores, sizes, the same program twice");
  app.add_flag("--show-hidden", options.showHidden, "Show the names and results of hidden cases");
  app.add_flag("--follow-links", options.followLinks, "Follow the symbolic links that folders hold");
  app.add_flag("--by-folder", options.byFolder, "Grade each first-level folder as one student's");
  app.add_option("--pick", options.pick, "Choose among a student's programs the one named like GLOB")
      ->type_name("GLOB");
  app.add_option("--tap-version", options.tapVersion, "TAP version of --format tap (default 14)")
      ->type_name("13|14")
      ->check(CLI::IsMember({13, 14}));
  app.add_option("--seed", options.seed, "Draw a reference's random inputs from N (default 1): same seed, same grade")
      ->type_name("N");
  AddProgramAs(app, options.as);
  app.add_flag("--validate", options.validate,
               "Check that the exercise's solution scores full marks and its wrong programs lose points");
  // A class to grade, or the exercise alone to validate.
  return [&options] {
    if (options.files.empty() == options.validate) return;
    if (options.validate) throw CLI::ValidationError("--validate checks the exercise alone: name no FILE");
    throw CLI::RequiredError("FILE");
  };
}

int RunTestOrValidate(const TestOptions& options) { return options.validate ? RunValidate(options) : RunTest(options); }

}  // namespace mirvo::cli
