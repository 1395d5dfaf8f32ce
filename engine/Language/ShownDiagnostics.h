#pragma once
// The diagnostics an editor shows of an assembly: the first
// kShownDiagnostics of them, then how many more there are; and a text most
// of whose lines do not read as statements (a source for another processor
// opened by mistake) as one finding rather than one per line.

#include <cstddef>
#include <span>
#include <string>

#include "Diagnostic.h"

namespace mirvo {

// A text with at least this many lines in error, and more lines in error
// than statements that read, is no assembly of this machine.
inline constexpr std::size_t kForeignLines = 20;

struct ShownDiagnostics {
  std::span<const Diagnostic> shown;  // the first ones, in source order
  std::size_t more = 0;               // those after them, not shown
  // Set when the text is no assembly of this machine: its first error,
  // which stands for all of them (shown and more are then empty).
  const Diagnostic* foreign = nullptr;
  std::size_t failedLines = 0;     // lines with an error
  std::size_t statementLines = 0;  // statements that read
};

// all: a program's diagnostics in source order; statementLines: how many
// of its statements read.
ShownDiagnostics ShowDiagnostics(std::span<const Diagnostic> all, std::size_t statementLines);

// The words of the one finding of a foreign text: how many of its lines
// failed, and the first failure's own words.
std::string DescribeForeign(const ShownDiagnostics& shown);
// The words of the finding after the shown ones: how many more there are.
std::string DescribeMore(const ShownDiagnostics& shown);

}  // namespace mirvo
