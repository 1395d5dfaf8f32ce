#include "ShownDiagnostics.h"

namespace mirvo {

ShownDiagnostics ShowDiagnostics(std::span<const Diagnostic> all, std::size_t statementLines) {
  ShownDiagnostics result;
  // Diagnostics come in source order: a line in error is counted once.
  std::int32_t lastLine = 0;
  const Diagnostic* first = nullptr;
  for (const Diagnostic& diagnostic : all) {
    if (SeverityOf(diagnostic.kind) != Severity::kError || diagnostic.line == lastLine) continue;
    lastLine = diagnostic.line;
    ++result.failedLines;
    if (first == nullptr) first = &diagnostic;
  }
  result.statementLines = statementLines;
  if (result.failedLines >= kForeignLines && result.failedLines > result.statementLines) {
    result.foreign = first;
    return result;
  }
  const std::size_t count = all.size() < kShownDiagnostics ? all.size() : kShownDiagnostics;
  result.shown = std::span<const Diagnostic>(all.data(), count);
  result.more = all.size() - count;
  return result;
}

std::string DescribeForeign(const ShownDiagnostics& shown) {
  std::string text = "this is not an assembly of this machine: " + std::to_string(shown.failedLines) +
                     " lines do not read as its statements";
  text += shown.statementLines == 0 ? std::string(", none does") : ", " + std::to_string(shown.statementLines) + " do";
  if (shown.foreign != nullptr) {
    text += "; the first, line " + std::to_string(shown.foreign->line) + ": " + DescribeDiagnostic(*shown.foreign);
  }
  return text;
}

std::string DescribeMore(const ShownDiagnostics& shown) {
  return std::to_string(shown.more) + " more " + (shown.more == 1 ? "diagnostic is" : "diagnostics are") +
         " not shown: the first " + std::to_string(kShownDiagnostics) + " are";
}

}  // namespace mirvo
