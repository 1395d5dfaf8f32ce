#pragma once
// The subcommands of mirvo, each given its parsed command line. Each returns
// the process's exit code.

#include <cstdint>
#include <string>
#include <vector>

#include "CheckTable.h"
#include "Program.h"
#include "Reference.h"
#include "RunLoop.h"

namespace mirvo::cli {

// An option that may carry a value after "=": not given, given alone, or
// given with a value.
struct OptionalPath {
  bool given = false;
  std::string path;  // empty: the default destination
};

struct AsmOptions {
  std::string source;
  std::string image;  // empty: the source's name with .bin
  OptionalPath listing;
  bool json = false;
  bool fix = false;      // apply the sure fixes to the source first
  bool inPlace = false;  // where a rename cannot replace the source, write over it
};

// Lines a trace holds at most unless --trace-limit says otherwise: far more
// than a learner reads (some 500 MB), far less than a run of 2^30 steps.
inline constexpr std::uint64_t kDefaultTraceLimit = 10'000'000;

struct RunOptions {
  std::string file;
  OptionalPath trace;
  std::uint64_t traceLimit = kDefaultTraceLimit;
  OptionalPath stateMap;
  bool json = false;
  std::uint64_t maxSteps = kStepLimit;
  std::string given;  // the state the run starts from, in the state syntax
  ProgramAs as = ProgramAs::kDetect;
  bool explain = false;           // a sentence under each trace line
  CheckMask checks = kAllChecks;  // the run-time checks to report
};

struct ExplainOptions {
  std::string id;  // empty: list every check
  bool man = false;
};

struct DisOptions {
  std::string image;
  std::string output;  // empty: standard output
  ProgramAs as = ProgramAs::kDetect;
};

struct CheckOptions {
  std::vector<std::string> files;
  std::string expect;
  std::string expectFile;
  bool json = false;
  std::uint64_t maxSteps = kStepLimit;
  ProgramAs as = ProgramAs::kDetect;
};

enum class ReportFormat { kText, kJson, kJunit, kTap, kGradescope, kCsv, kHtml };

struct TestOptions {
  std::string exercise;
  std::vector<std::string> files;  // programs, or folders of them
  ReportFormat format = ReportFormat::kText;
  std::string output;  // empty: standard output
  bool summary = false;
  bool showHidden = false;
  ProgramAs as = ProgramAs::kDetect;
  bool followLinks = false;           // follow the symbolic links that graded folders hold
  bool byFolder = false;              // each first-level folder is one student
  std::string pick;                   // a glob choosing among a student's programs
  int tapVersion = 14;                // of the TAP report: 13 or 14
  bool validate = false;              // check the exercise's solution and wrong programs instead
  std::uint64_t seed = kDefaultSeed;  // of a reference's random inputs
};

struct LinkOptions {
  std::string file;
  std::string base;
  bool withHidden = false;  // the teacher's own link: the whole exercise file
};

struct CcOptions {
  std::string source;
  std::string assembly;  // empty: the source's name with .asm
  std::string image;     // empty: no image
  bool json = false;
  int level = 1;  // -O: 0 compiles each statement on its own, for reading
};

struct FmtOptions {
  std::vector<std::string> files;
  bool check = false;    // write nothing; fail when a file is not formatted
  bool inPlace = false;  // where a rename cannot replace a source, write over it
};

int RunAsm(const AsmOptions& options);
int RunRun(const RunOptions& options);
int RunDis(const DisOptions& options);
int RunExplain(const ExplainOptions& options);
int RunCheck(const CheckOptions& options);
int RunTest(const TestOptions& options);
// mirvo test --validate EXERCISE: 0 when its solution scores full marks and
// each of its wrong programs loses points, 1 when not, 64 for a bad file.
int RunValidate(const TestOptions& options);
int RunLink(const LinkOptions& options);
int RunFmt(const FmtOptions& options);
int RunCc(const CcOptions& options);
// Serves the language server protocol on standard input and output until
// the editor says exit; 0 after a shutdown, else 1.
int RunLsp(const char* version);

}  // namespace mirvo::cli
