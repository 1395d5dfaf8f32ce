// mirvo's command line as a table: one row per subcommand, each App
// declared from its row, the words parsed, and the row named run.

#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "CommandOptions.h"
#include "Output.h"
#include "Words.h"

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

// One line of the reason, then the hint.
int UsageError(const CLI::App& app, const CLI::ParseError& error, std::ostream& err) {
  std::string reason = error.what();
  const std::size_t end = reason.find('\n');
  if (end != std::string::npos) reason.erase(end);
  std::string command;
  for (const CLI::App* sub : app.get_subcommands()) command += (command.empty() ? "" : " ") + sub->get_name();
  err << kProgramName << ": " << reason << "\n" << TryHelpLine(command);
  return kUsageExit;
}

// Help or the version on out; 1 when out could not take it (closed, full).
int ShowHelpOrVersion(const CLI::App& app, const CLI::Success& helpOrVersion, std::ostream& out, std::ostream& err) {
  errno = 0;
  const int status = app.exit(helpOrVersion, out, err);
  out.flush();
  const bool written = out.good() && (&out != &std::cout || (std::fflush(stdout) == 0 && std::ferror(stdout) == 0));
  if (written) return status;
  err << kProgramName << ": cannot write standard output: " << std::strerror(errno != 0 ? errno : EIO) << "\n";
  return 1;
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

// The row of a subcommand whose options are the field kOptions of a command
// line, declared by kDeclare and run by kRun.
template <auto kOptions, auto kDeclare, auto kRun>
constexpr Subcommand Row(const char* name, const char* help) {
  return {name, help, [](CLI::App& app, CommandLine& line) { return kDeclare(app, line.*kOptions); },
          [](const CommandLine& line) { return kRun(line.*kOptions); }};
}

// Every subcommand, in the order help lists them.
constexpr Subcommand kSubcommands[] = {
    Row<&CommandLine::asmOptions, DeclareAsm, RunAsm>("asm", "Assemble a source into a program image"),
    Row<&CommandLine::runOptions, DeclareRun, RunRun>("run", "Run an image, or a source (.asm) assembled first"),
    Row<&CommandLine::disOptions, DeclareDis, RunDis>("dis", "Turn an image back into source"),
    Row<&CommandLine::checkOptions, DeclareCheck, RunCheck>("check", "Run programs and compare them with expectations"),
    Row<&CommandLine::testOptions, DeclareTest, RunTestOrValidate>("test", "Grade programs against an exercise file"),
    Row<&CommandLine::linkOptions, DeclareLink, RunLink>("link",
                                                         "Print the playground's link to a source or an exercise"),
    Row<&CommandLine::explainOptions, DeclareExplain, RunExplain>(
        "explain", "Explain a run-time check (hl-unset, code-write, ...), or list them"),
    Row<&CommandLine::fmtOptions, DeclareFmt, RunFmt>("fmt", "Lay sources out in aligned columns"),
    Row<&CommandLine::ccOptions, DeclareCc, RunCc>("cc", "Compile a C program (.c) into assembly and an image"),
    {"lsp", "Serve editors: the language server protocol on standard input and output",
     [](CLI::App& app, CommandLine&) {
       // What many clients pass: standard input and output are the only way.
       app.add_flag("--stdio")->description(
           "Talk over standard input and output (the only way; accepted as clients send it)");
       return AfterParse();
     },
     [](const CommandLine&) { return RunLsp(MIRVO_VERSION); }},
};

// A subcommand's App, and what it does once the words are parsed.
struct Declared {
  const CLI::App* app;
  AfterParse afterParse;
};

// mirvo's options, and each subcommand's, in the table's order.
std::vector<Declared> Declare(CLI::App& app, CommandLine& line) {
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_version_flag("--version", std::string(kProgramName) + " " + MIRVO_VERSION);
  app.require_subcommand(1, 1);
  std::vector<Declared> commands;
  for (const Subcommand& row : kSubcommands) {
    CLI::App* const command = app.add_subcommand(row.name, row.help);
    commands.push_back({command, row.declare(*command, line)});
  }
  // Set last, so that the subcommands do not inherit it.
  app.footer("Run 'mirvo SUBCOMMAND --help' for the options of one subcommand.");
  return commands;
}

// A first word that is no option must name a subcommand.
void RefuseUnknownSubcommand(int argc, const char* const* argv) {
  if (argc < 2 || argv[1][0] == '-') return;
  std::vector<std::string_view> names;
  for (const Subcommand& row : kSubcommands) {
    if (argv[1] == std::string_view(row.name)) return;
    names.emplace_back(row.name);
  }
  throw CLI::ValidationError("'" + std::string(argv[1]) + "' is not a subcommand: use " + ListedInWords(names, " or "));
}

// Parses argv, naming an unknown option before a missing FILE.
void Parse(CLI::App& app, int argc, const char* const* argv) {
  RefuseUnknownSubcommand(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::RequiredError&) {
    // A missing FILE is found before an unknown option; the option is the
    // mistake to name ("mirvo run -x").
    const std::vector<std::string> unexpected = Unexpected(app);
    if (!unexpected.empty()) throw CLI::ExtrasError(unexpected);
    throw;
  }
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::ostream& out, std::ostream& err) {
  CLI::App app{"Assemble, run, disassemble and grade programs of the Mirvo virtual machine.", kProgramName};
  const std::vector<Declared> commands = Declare(app, line);
  try {
    Parse(app, argc, argv);
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (!commands[i].app->parsed()) continue;
      line.subcommand = &kSubcommands[i];
      if (commands[i].afterParse) commands[i].afterParse();
    }
  } catch (const CLI::Success& helpOrVersion) {
    return ShowHelpOrVersion(app, helpOrVersion, out, err);
  } catch (const CLI::ParseError& error) {
    return UsageError(app, error, err);
  }
  return kParsed;
}

int RunCommandLine(const CommandLine& line) { return line.subcommand->run(line); }

}  // namespace mirvo::cli
