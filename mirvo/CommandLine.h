#pragma once
// mirvo's command line: what it asks for, parsed apart from running it, so
// that the parser can be exercised alone. Each subcommand is one row of a
// table (CommandLine.cpp); its options are declared in a file of its own
// (AsmOptions.cpp, RunOptions.cpp, ...).

#include <functional>
#include <ostream>

#include "Commands.h"

namespace CLI {
class App;
}  // namespace CLI

namespace mirvo::cli {

struct CommandLine;

// What a subcommand does once the words are parsed: the checks that need
// the whole line (throwing a CLI::ParseError) and the settling of what was
// given. Empty when there is nothing to do.
using AfterParse = std::function<void()>;

// One subcommand: its name, its line of help, the declaration of its options
// on its own CLI::App (bound to its fields of a CommandLine), and what runs
// it.
struct Subcommand {
  const char* name;
  const char* help;
  AfterParse (*declare)(CLI::App& app, CommandLine& line);
  int (*run)(const CommandLine& line);
};

struct CommandLine {
  const Subcommand* subcommand = nullptr;  // the one the line names, once parsed
  AsmOptions asmOptions;
  RunOptions runOptions;
  DisOptions disOptions;
  CheckOptions checkOptions;
  TestOptions testOptions;
  LinkOptions linkOptions;
  ExplainOptions explainOptions;
  FmtOptions fmtOptions;
  CcOptions ccOptions;
};

// The value ParseCommandLine returns when line holds a command to run.
inline constexpr int kParsed = -1;

// Reads argv into line. kParsed, or the exit code after help or the version
// (0, written to out) or a line it cannot understand (kUsageExit, one line of
// the reason and a hint written to err).
int ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::ostream& out, std::ostream& err);

// Runs the parsed command; returns the process's exit code.
int RunCommandLine(const CommandLine& line);

}  // namespace mirvo::cli
