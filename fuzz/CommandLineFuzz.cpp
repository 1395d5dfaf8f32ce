// Words (separated by NUL bytes) as mirvo's command line, parsed and never
// run. Invariants: the parser answers with help or the version (0), a usage
// error (64) or a command, and a parsed command has what it needs: its file,
// numbers within their ranges, expectations for check, programs (or
// --validate alone) and a known format for test.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "FuzzCheck.h"
#include "Output.h"

namespace {

// Throws away what help and errors print.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int ch) override { return ch; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo::cli;
  using mirvo::ProgramAs;
  std::vector<std::string> words{"mirvo"};
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  NullBuffer nothing;
  std::ostream out(&nothing);
  CommandLine line;
  const int result = ParseCommandLine(static_cast<int>(words.size()), argv.data(), line, out, out);
  FUZZ_CHECK(result == kParsed || result == 0 || result == kUsageExit);
  if (result != kParsed) return 0;
  FUZZ_CHECK(line.subcommand != nullptr);
  const std::string_view name = line.subcommand->name;
  if (name == "asm") {
    FUZZ_CHECK(!line.asmOptions.listing.given || !line.asmOptions.json || !line.asmOptions.listing.path.empty());
  } else if (name == "run") {
    FUZZ_CHECK(line.runOptions.maxSteps >= 1 && line.runOptions.maxSteps <= mirvo::kStepLimit);
    FUZZ_CHECK(line.runOptions.traceLimit >= 1 && line.runOptions.traceLimit <= mirvo::kStepLimit);
    FUZZ_CHECK(line.runOptions.trace.given || line.runOptions.traceLimit == kDefaultTraceLimit);
    FUZZ_CHECK(line.runOptions.trace.given || !line.runOptions.explain);
    FUZZ_CHECK((line.runOptions.checks & ~mirvo::kAllChecks) == 0);
  } else if (name == "fmt") {
    FUZZ_CHECK(!line.fmtOptions.files.empty());
  } else if (name == "test") {
    FUZZ_CHECK(line.testOptions.files.empty() == line.testOptions.validate);
    FUZZ_CHECK(line.testOptions.format >= ReportFormat::kText && line.testOptions.format <= ReportFormat::kCsv);
    FUZZ_CHECK(line.testOptions.as >= ProgramAs::kDetect && line.testOptions.as <= ProgramAs::kImage);
  } else if (name == "check") {
    FUZZ_CHECK(!line.checkOptions.files.empty());
    FUZZ_CHECK(line.checkOptions.maxSteps >= 1 && line.checkOptions.maxSteps <= mirvo::kStepLimit);
  }
  return 0;
}
