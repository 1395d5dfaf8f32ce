#pragma once
// mirvo's command line: what it asks for, parsed apart from running it, so
// that the parser can be exercised alone.

#include <ostream>

#include "Commands.h"

namespace mirvo::cli {

enum class Subcommand { kAsm, kRun, kDis, kCheck, kTest, kLink, kExplain, kFmt, kLsp };

struct CommandLine {
  Subcommand subcommand = Subcommand::kAsm;
  AsmOptions asmOptions;
  RunOptions runOptions;
  DisOptions disOptions;
  CheckOptions checkOptions;
  TestOptions testOptions;
  LinkOptions linkOptions;
  ExplainOptions explainOptions;
  FmtOptions fmtOptions;
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
