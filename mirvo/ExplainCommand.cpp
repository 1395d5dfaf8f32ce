// mirvo explain: the page of one run-time check, the list of them, or the
// manual page they make.

#include <cstdio>

#include "CheckPages.h"
#include "Commands.h"
#include "Output.h"

namespace mirvo::cli {

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

int RunExplain(const ExplainOptions& options) {
  Output out;
  out.OpenStandardOutput();
  if (options.man) {
    out.Write(ChecksManualPage());
  } else if (options.id.empty()) {
    out.Write(CheckListText());
  } else {
    const CheckRow* const row = FindCheck(options.id);
    if (row == nullptr) {
      Report("'%s' is not a check: the checks are %s", options.id.c_str(), CheckNamesInWords().c_str());
      return kUsageExit;
    }
    out.Write(CheckPageText(*row));
  }
  return out.Commit() == 0 ? 0 : 1;
}

}  // namespace mirvo::cli
