#pragma once
// The pages of the run-time checks, from the engine's check table: as plain
// text for `mirvo explain`, and as the manual page mirvo-checks(7).

#include <string>

#include "CheckTable.h"

namespace mirvo::cli {

// One check's page: what it means, an example, how to fix it, how to turn
// it off, wrapped for a terminal.
std::string CheckPageText(const CheckRow& row);
// Every check's name and summary, one a line.
std::string CheckListText();
// The manual page mirvo-checks(7) in roff; with only, the same page with
// that check's section alone.
std::string ChecksManualPage(const CheckRow* only = nullptr);

}  // namespace mirvo::cli
