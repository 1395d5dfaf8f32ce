// mirvo explain: the page of one run-time check, the list of them, or the
// manual page they make.

#include <cstdio>

#include "CheckPages.h"
#include "Commands.h"
#include "Output.h"

namespace mirvo::cli {

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
