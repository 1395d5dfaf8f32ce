#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <map>
#include <string>

#include "Output.h"

namespace mirvo::cli {

namespace {

// Help lists "--trace[=FILE]" rather than CLI11's own "--trace{-} [=FILE]"
// spelling of a flag whose value, if any, follows an equals sign.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(option, positional);
    for (std::size_t open = name.find('{'); open != std::string::npos; open = name.find('{')) {
      const std::size_t close = name.find('}', open);
      name.erase(open, close == std::string::npos ? std::string::npos : close - open + 1);
    }
    return name;
  }
  // "--trace[=FILE]", with no space before the optional value.
  std::string make_option_opts(const CLI::Option* option) const override {
    std::string opts = CLI::Formatter::make_option_opts(option);
    if (opts.rfind(" [=", 0) == 0) opts.erase(0, 1);
    return opts;
  }
};

// An option that takes its value only after "=" ("--trace" or
// "--trace=FILE"), so it never swallows the file name that follows it.
// "-" stands for the default destination.
CLI::Option* AddOptionalPath(CLI::App& app, const std::string& name, OptionalPath& target,
                             const std::string& help) {
  CLI::Option* const option = app.add_flag(name + "{-}", target.path, help);
  option->type_name("[=FILE]");
  return option;
}

// --max-steps N: a step limit from 1 to the driver's own.
void AddMaxSteps(CLI::App& app, std::uint64_t& target, const std::string& help) {
  app.add_option("--max-steps", target, help)->type_name("N")->check(CLI::Range(std::uint64_t{1}, mirvo::kStepLimit));
}

// An option that takes one of a few words, each standing for a value of an
// enumeration; any other word is refused with the list of the words.
template <typename T>
CLI::Option* AddChoice(CLI::App& app, const std::string& name, T& target, const std::map<std::string, T>& words,
                       const std::string& help) {
  std::string list;
  for (const auto& [word, value] : words) list += (list.empty() ? "" : "|") + word;
  const CLI::Validator choice(
      [words, list](std::string& value) -> std::string {
        const auto found = words.find(value);
        if (found == words.end()) return "'" + value + "' is none of " + list;
        value = std::to_string(static_cast<int>(found->second));
        return "";
      },
      "");
  return app.add_option(name, target, help)->type_name(list)->transform(choice);
}

// --as source|image: how a program file is read when its name or content
// should not decide.
void AddProgramAs(CLI::App& app, ProgramAs& target) {
  AddChoice(app, "--as", target, {{"source", ProgramAs::kSource}, {"image", ProgramAs::kImage}},
            "Read the program as source or image, whatever its name and content");
}

void Settle(OptionalPath& path, const CLI::Option* option) {
  path.given = option->count() > 0;
  if (path.path == "-") path.path.clear();
}

// One line of the reason, then the hint.
int UsageError(const CLI::App& app, const CLI::ParseError& error, std::ostream& err) {
  std::string reason = error.what();
  const std::size_t end = reason.find('\n');
  if (end != std::string::npos) reason.erase(end);
  std::string command = kProgramName;
  for (const CLI::App* sub : app.get_subcommands()) command += " " + sub->get_name();
  err << kProgramName << ": " << reason << "\nTry '" << command << " --help' for more information.\n";
  return kUsageExit;
}

// The words on the command line that no option of the chosen subcommand
// took, such as an unknown "-x".
std::vector<std::string> Unexpected(const CLI::App& app) {
  std::vector<std::string> words = app.remaining();
  for (const CLI::App* sub : app.get_subcommands()) {
    const std::vector<std::string> more = sub->remaining();
    words.insert(words.end(), more.begin(), more.end());
  }
  return words;
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::ostream& out, std::ostream& err) {
  CLI::App app{"Assemble, run, disassemble and grade programs of the Mirvo virtual machine.", kProgramName};
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_version_flag("--version", std::string(kProgramName) + " " + MIRVO_VERSION);
  app.require_subcommand(1, 1);

  AsmOptions& asmOptions = line.asmOptions;
  CLI::App* const asmCommand = app.add_subcommand("asm", "Assemble a source into a program image");
  asmCommand->add_option("SOURCE", asmOptions.source, "Assembly source")->required();
  asmCommand->add_option("-o,--output", asmOptions.image, "Image to write (default: SOURCE with .bin)")
      ->type_name("IMAGE");
  CLI::Option* const listing =
      AddOptionalPath(*asmCommand, "--listing", asmOptions.listing, "Write a listing to standard output or FILE");
  asmCommand->add_flag("--json", asmOptions.json, "Print one JSON object instead of the diagnostics");
  asmCommand->add_flag("--fix", asmOptions.fix, "Apply the fixes that are sure to SOURCE first");

  RunOptions& runOptions = line.runOptions;
  CLI::App* const runCommand = app.add_subcommand("run", "Run an image, or a source (.asm) assembled first");
  runCommand->add_option("FILE", runOptions.file, "Program image, or source ending in .asm")->required();
  CLI::Option* const trace =
      AddOptionalPath(*runCommand, "--trace", runOptions.trace, "Write one line per step to standard output or FILE");
  runCommand
      ->add_option("--trace-limit", runOptions.traceLimit,
                   "Stop the trace after N lines (default " + std::to_string(kDefaultTraceLimit) + ")")
      ->type_name("N")
      ->check(CLI::Range(std::uint64_t{1}, mirvo::kStepLimit))
      ->needs(trace);
  CLI::Option* const stateMap = AddOptionalPath(*runCommand, "--state-map", runOptions.stateMap,
                                                "Write the state map to FILE (default MirvoVMStateMap.txt)");
  runCommand->add_flag("--json", runOptions.json, "Print the summary (and the trace) as JSON");
  AddMaxSteps(*runCommand, runOptions.maxSteps, "Stop after N steps (at most 2^30)");
  runCommand->add_flag("--explain", runOptions.explain, "With --trace: say under each step why it did what it did")
      ->needs(trace);
  std::vector<std::string> warningValues;
  runCommand->add_option("-W", warningValues, "-Wno-ID turns a run-time check off, -Wno-checks all of them")
      ->type_name("no-ID")
      ->allow_extra_args(false);
  runCommand->add_option("--given", runOptions.given, "Start from this state, e.g. \"B=5h [1000h]=7h,8h\"")
      ->type_name("STATE");
  AddProgramAs(*runCommand, runOptions.as);

  DisOptions& disOptions = line.disOptions;
  CLI::App* const disCommand = app.add_subcommand("dis", "Turn an image back into source");
  disCommand->add_option("IMAGE", disOptions.image, "Program image")->required();
  disCommand->add_option("-o,--output", disOptions.output, "Source to write (default: standard output)")
      ->type_name("SOURCE");
  AddProgramAs(*disCommand, disOptions.as);

  CheckOptions& checkOptions = line.checkOptions;
  CLI::App* const checkCommand = app.add_subcommand("check", "Run programs and compare them with expectations");
  checkCommand->add_option("FILE", checkOptions.files, "Program images or sources (.asm)")->required();
  CLI::Option* const expect =
      checkCommand->add_option("--expect", checkOptions.expect, "Expectations, e.g. \"A=20h Z=1 halt\"")
          ->type_name("EXPECTATIONS");
  CLI::Option* const expectFile =
      checkCommand->add_option("--expect-file", checkOptions.expectFile, "File of expectations (; comments)")
          ->type_name("F");
  expect->excludes(expectFile);
  checkCommand->add_flag("--json", checkOptions.json, "One JSON object per program");
  AddMaxSteps(*checkCommand, checkOptions.maxSteps, "Stop each run after N steps (at most 2^30)");
  AddProgramAs(*checkCommand, checkOptions.as);

  TestOptions& testOptions = line.testOptions;
  CLI::App* const testCommand = app.add_subcommand("test", "Grade programs against an exercise file");
  testCommand->add_option("EXERCISE", testOptions.exercise, "Exercise file (.toml)")->required();
  testCommand->add_option("FILE", testOptions.files, "Programs (sources or images), or folders of them");
  AddChoice(*testCommand, "--format", testOptions.format,
            {{"text", ReportFormat::kText},
             {"json", ReportFormat::kJson},
             {"junit", ReportFormat::kJunit},
             {"tap", ReportFormat::kTap},
             {"gradescope", ReportFormat::kGradescope},
             {"csv", ReportFormat::kCsv}},
            "Report format (default text)");
  testCommand->add_option("-o,--output", testOptions.output, "Write the report to FILE (default: standard output)")
      ->type_name("FILE");
  testCommand->add_flag("--summary", testOptions.summary,
                        "What the class did: per case and cause, scores, sizes, the same program twice");
  testCommand->add_flag("--show-hidden", testOptions.showHidden, "Show the names and results of hidden cases");
  testCommand->add_flag("--follow-links", testOptions.followLinks, "Follow the symbolic links that folders hold");
  testCommand->add_flag("--by-folder", testOptions.byFolder, "Grade each first-level folder as one student's");
  testCommand->add_option("--pick", testOptions.pick, "Choose among a student's programs the one named like GLOB")
      ->type_name("GLOB");
  testCommand->add_option("--tap-version", testOptions.tapVersion, "TAP version of --format tap (default 14)")
      ->type_name("13|14")
      ->check(CLI::IsMember({13, 14}));
  AddProgramAs(*testCommand, testOptions.as);
  testCommand->add_flag("--validate", testOptions.validate,
                        "Check that the exercise's solution scores full marks and its wrong programs lose points");

  LinkOptions& linkOptions = line.linkOptions;
  CLI::App* const linkCommand = app.add_subcommand("link", "Print the playground's link to a source or an exercise");
  linkCommand->add_option("FILE", linkOptions.file, "Source, or exercise file (.toml)")->required();
  linkOptions.base = "http://127.0.0.1:8080/";
  linkCommand->add_option("--base", linkOptions.base, "The page's address (default: make playground's)")
      ->type_name("URL");
  linkCommand->add_flag("--with-hidden", linkOptions.withHidden,
                        "The teacher's link: the whole exercise, its hidden cases and solution too");

  ExplainOptions& explainOptions = line.explainOptions;
  CLI::App* const explainCommand =
      app.add_subcommand("explain", "Explain a run-time check (hl-unset, code-write, ...), or list them");
  explainCommand->add_option("ID", explainOptions.id, "The check's id");
  explainCommand->add_flag("--man", explainOptions.man, "Print the manual page of every check (roff)");

  FmtOptions& fmtOptions = line.fmtOptions;
  CLI::App* const fmtCommand = app.add_subcommand("fmt", "Lay sources out in aligned columns");
  fmtCommand->add_option("SOURCE", fmtOptions.files, "Assembly sources, rewritten in place")->required();
  fmtCommand->add_flag("--check", fmtOptions.check, "Change nothing; fail if a source is not laid out");

  CLI::App* const lspCommand =
      app.add_subcommand("lsp", "Serve editors: the language server protocol on standard input and output");

  // Set last, so that the subcommands do not inherit it.
  app.footer("Run 'mirvo SUBCOMMAND --help' for the options of one subcommand.");

  try {
    // A first word that is no option must name a subcommand.
    if (argc > 1 && argv[1][0] != '-') {
      const std::string word = argv[1];
      if (word != "asm" && word != "run" && word != "dis" && word != "check" && word != "test" && word != "link" &&
          word != "explain" && word != "fmt" && word != "lsp") {
        throw CLI::ValidationError("'" + word +
                                   "' is not a subcommand: use asm, run, dis, check, test, link, explain, fmt or lsp");
      }
    }
    try {
      app.parse(argc, argv);
    } catch (const CLI::RequiredError&) {
      // A missing FILE is found before an unknown option; the option is the
      // mistake to name ("mirvo run -x").
      const std::vector<std::string> unexpected = Unexpected(app);
      if (!unexpected.empty()) throw CLI::ExtrasError(unexpected);
      throw;
    }
    std::string reason;
    if (*runCommand && ApplyWarningOptions(warningValues, runOptions.checks, reason) != 0) {
      throw CLI::ValidationError(reason);
    }
    // A class to grade, or the exercise alone to validate.
    if (*testCommand && testOptions.files.empty() != testOptions.validate) {
      if (testOptions.validate) throw CLI::ValidationError("--validate checks the exercise alone: name no FILE");
      throw CLI::RequiredError("FILE");
    }
    if (*checkCommand && expect->count() == 0 && expectFile->count() == 0) {
      throw CLI::RequiredError("--expect or --expect-file");
    }
    if (*asmCommand && asmOptions.json && listing->count() > 0 &&
        (asmOptions.listing.path.empty() || asmOptions.listing.path == "-")) {
      throw CLI::ValidationError("--listing", "with --json the listing needs a FILE: --listing=FILE");
    }
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version, out, err);
  } catch (const CLI::ParseError& error) {
    return UsageError(app, error, err);
  }

  if (*asmCommand) {
    line.subcommand = Subcommand::kAsm;
    Settle(asmOptions.listing, listing);
  } else if (*runCommand) {
    line.subcommand = Subcommand::kRun;
    Settle(runOptions.trace, trace);
    Settle(runOptions.stateMap, stateMap);
  } else if (*disCommand) {
    line.subcommand = Subcommand::kDis;
  } else if (*testCommand) {
    line.subcommand = Subcommand::kTest;
  } else if (*linkCommand) {
    line.subcommand = Subcommand::kLink;
  } else if (*explainCommand) {
    line.subcommand = Subcommand::kExplain;
  } else if (*fmtCommand) {
    line.subcommand = Subcommand::kFmt;
  } else if (*lspCommand) {
    line.subcommand = Subcommand::kLsp;
  } else {
    line.subcommand = Subcommand::kCheck;
  }
  return kParsed;
}

int RunCommandLine(const CommandLine& line) {
  switch (line.subcommand) {
    case Subcommand::kAsm:
      return RunAsm(line.asmOptions);
    case Subcommand::kRun:
      return RunRun(line.runOptions);
    case Subcommand::kDis:
      return RunDis(line.disOptions);
    case Subcommand::kTest:
      return line.testOptions.validate ? RunValidate(line.testOptions) : RunTest(line.testOptions);
    case Subcommand::kLink:
      return RunLink(line.linkOptions);
    case Subcommand::kExplain:
      return RunExplain(line.explainOptions);
    case Subcommand::kFmt:
      return RunFmt(line.fmtOptions);
    case Subcommand::kLsp:
      return RunLsp(MIRVO_VERSION);
    case Subcommand::kCheck:
      break;
  }
  return RunCheck(line.checkOptions);
}

}  // namespace mirvo::cli
