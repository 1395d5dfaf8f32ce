// mirvo explain: the page of one run-time check, the list of them, or the
// manual page they make.

#include <cstdio>

#include "CheckPages.h"
#include "Commands.h"
#include "Output.h"
#include "TextEscape.h"

namespace mirvo::cli {

int RunExplain(const ExplainOptions& options) {
  const CheckRow* row = nullptr;
  if (!options.id.empty()) {
    row = FindCheck(options.id);
    if (row == nullptr) {
      return ReportUsage("explain", "'%s' is not a check: the checks are %s", VisibleText(options.id).c_str(),
                         CheckNamesInWords().c_str());
    }
  }
  Output out;
  out.OpenStandardOutput();
  if (options.man) {
    out.Write(ChecksManualPage(row));
  } else if (row == nullptr) {
    out.Write(CheckListText());
  } else {
    out.Write(CheckPageText(*row));
  }
  return out.Commit() == 0 ? 0 : 1;
}

}  // namespace mirvo::cli
