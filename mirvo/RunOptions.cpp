// mirvo run's options: the program, the trace, the state map, JSON, the step
// limit, the run-time checks (-W) and the state the run starts from.

#include <memory>
#include <string_view>
#include <vector>

#include "CommandOptions.h"

namespace mirvo::cli {

namespace {

// The checks left on by -W values ("no-ID", "ID", "no-checks", "checks"),
// in order. 0, or 1 with reason set for a value that names no check.
int ApplyWarningOptions(const std::vector<std::string>& values, CheckMask& checks, std::string& reason) {
  static constexpr std::string_view kNo = "no-";
  static constexpr std::string_view kAll = "checks";
  for (const std::string& value : values) {
    std::string_view name = value;
    const bool off = name.substr(0, kNo.size()) == kNo;
    if (off) name.remove_prefix(kNo.size());
    CheckMask named = 0;
    if (name == kAll) {
      named = kAllChecks;
    } else if (const CheckRow* const row = FindCheck(name)) {
      named = CheckBit(row->id);
    } else {
      reason = "-W" + value + ": '" + std::string(name) + "' is not a check: the checks are " + CheckNamesInWords();
      return 1;
    }
    checks = static_cast<CheckMask>(off ? checks & ~named : checks | named);
  }
  return 0;
}

}  // namespace

AfterParse DeclareRun(CLI::App& app, RunOptions& options) {
  app.add_option("FILE", options.file, "Program image, or source ending in .asm")->required();
  CLI::Option* const trace =
      AddOptionalPath(app, "--trace", options.trace, "Write one line per step to standard output or FILE");
  app.add_option("--trace-limit", options.traceLimit,
                 "Stop the trace after N lines (default " + std::to_string(kDefaultTraceLimit) + ")")
      ->type_name("N")
      ->check(WholeNumber(1, mirvo::kStepLimit))
      ->needs(trace);
  CLI::Option* const stateMap = AddOptionalPath(app, "--state-map", options.stateMap,
                                                "Write the state map to FILE (default MirvoVMStateMap.txt)");
  app.add_flag("--json", options.json, "Print the summary (and the trace) as JSON");
  AddMaxSteps(app, options.maxSteps, "Stop after N steps (at most 2^30)");
  app.add_flag("--explain", options.explain, "With --trace: say under each step why it did what it did")->needs(trace);
  // The -W values, read once every word is parsed.
  const auto warnings = std::make_shared<std::vector<std::string>>();
  app.add_option("-W", *warnings, "-Wno-ID turns a run-time check off, -Wno-checks all of them")
      ->type_name("no-ID")
      ->allow_extra_args(false);
  app.add_option("--given", options.given, "Start from this state, e.g. \"B=5h [1000h]=7h,8h\"")->type_name("STATE");
  AddProgramAs(app, options.as);
  return [&options, trace, stateMap, warnings] {
    std::string reason;
    if (ApplyWarningOptions(*warnings, options.checks, reason) != 0) throw CLI::ValidationError(reason);
    Settle(options.trace, trace);
    Settle(options.stateMap, stateMap);
  };
}

}  // namespace mirvo::cli
