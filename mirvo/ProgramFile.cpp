#include "ProgramFile.h"

#include <algorithm>
#include <cstdio>

#include "FileSource.h"
#include "ImageFile.h"
#include "Output.h"
#include "TextEncoding.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

// Terminal colours as compilers use them.
constexpr const char* kBold = "\033[1m";
constexpr const char* kRed = "\033[1;31m";
constexpr const char* kMagenta = "\033[1;35m";
constexpr const char* kGreen = "\033[1;32m";
constexpr const char* kReset = "\033[0m";

// A line as a terminal shows it: a byte-order mark takes no room there, so
// line 1 is shown without it, and what follows is placed as if it were not
// there (the columns of reports still count its bytes).
struct ShownLine {
  std::string_view text;
  std::size_t hidden = 0;  // bytes left off its front

  // The blanks that put a caret under column (1-based, in the line as read).
  std::string Indent(std::int32_t column) const {
    std::string indent;
    const auto before = static_cast<std::size_t>(column - 1);
    for (std::size_t i = std::min(before, hidden); i < before; ++i) {
      indent += i - hidden < text.size() && text[i - hidden] == '\t' ? '\t' : ' ';
    }
    return indent;
  }
};

// Line (1-based) of lines as shown.
ShownLine Shown(const SourceLines& lines, std::int32_t line) {
  const std::string_view text = lines.PrintedLine(static_cast<std::size_t>(line - 1));
  const TextStart start = ReadTextStart(text);
  const std::size_t hidden = line == 1 && start.mark == TextMark::kUtf8 ? start.length : 0;
  return {text.substr(hidden), hidden};
}

// The fixes of a diagnostic under its caret line, as compilers show fix-it
// hints: the text meant, at the column it goes to, and a "fix:" label with
// what it does. Further lines of a fix's text start at column 1, as they
// would in the file.
std::string FixLines(const ShownLine& line, const Diagnostic& diagnostic, bool colour) {
  std::string text;
  for (const Fix& fix : diagnostic.fixes) {
    if (fix.line != diagnostic.line) continue;
    text += line.Indent(fix.column);
    if (colour) text += kGreen;
    std::size_t start = 0;
    for (std::size_t end = fix.text.find('\n'); end != std::string::npos; end = fix.text.find('\n', start)) {
      text.append(fix.text, start, end - start).append("\n");
      start = end + 1;
    }
    text.append(fix.text, start, std::string::npos);
    if (colour) text += kReset;
    if (!fix.text.empty()) text += "  ";
    text += "fix: " + fix.title + "\n";
  }
  return text;
}

}  // namespace

void AppendDiagnostic(std::string& text, const std::string& path, const SourceLines& lines,
                      const DiagnosticPlace& place, Severity severity, std::string_view message, bool colour) {
  const bool isError = severity == Severity::kError;
  char where[64] = ": ";
  if (place.line > 0 && place.column > 0) {
    std::snprintf(where, sizeof(where), ":%d:%d: ", place.line, place.column);
  } else if (place.line > 0) {
    std::snprintf(where, sizeof(where), ":%d: ", place.line);
  }
  if (colour) text += kBold;
  text += path;
  text += where;
  if (colour) text += isError ? kRed : kMagenta;
  text += SeverityName(severity);
  text += ":";
  if (colour) {
    text += kReset;
    text += kBold;
  }
  text += ' ';
  text += message;
  if (colour) text += kReset;
  text += "\n";
  if (place.line > 0 && place.column > 0) {
    // The caret line counts bytes; a tab stays a tab so that the caret
    // lands under the token however the terminal shows tabs.
    const ShownLine line = Shown(lines, place.line);
    text += line.text;
    text += "\n";
    text += line.Indent(place.column);
    if (colour) text += kGreen;
    text += '^';
    // A caret under the hidden mark alone is one character wide.
    const bool underMark = static_cast<std::size_t>(place.column) <= line.hidden;
    for (std::int32_t i = 1; i < place.length && !underMark; ++i) text += '~';
    if (colour) text += kReset;
    text += "\n";
  }
}

void PrintDiagnostics(const Program& program, bool colour) {
  if (!program.IsSource()) return;
  PrintDiagnostics(program.Name(), program.Text(), program.Diagnostics(), colour);
}

void PrintDiagnostics(const std::string& name, std::string_view source, std::span<const Diagnostic> diagnostics,
                      bool colour) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  if (diagnostics.empty()) return;
  const SourceLines lines(source);
  std::string text;
  for (const Diagnostic& diagnostic : diagnostics) {
    const bool isError = SeverityOf(diagnostic.kind) == Severity::kError;
    (isError ? errors : warnings) += 1;
    text.clear();
    const DiagnosticPlace place{diagnostic.line, diagnostic.column, diagnostic.length};
    AppendDiagnostic(text, name, lines, place, SeverityOf(diagnostic.kind), DescribeDiagnostic(diagnostic), colour);
    if (diagnostic.column > 0) {
      text += FixLines(Shown(lines, diagnostic.line), diagnostic, colour);
    }
    // Written by length: a NUL byte in the line is printed, not an end.
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  std::string count;
  if (errors > 0) count = std::to_string(errors) + (errors == 1 ? " error" : " errors");
  if (warnings > 0) {
    if (!count.empty()) count += ", ";
    count += std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
  }
  std::fprintf(stderr, "%s generated.\n", count.c_str());
}

std::string FirstErrorText(const Program& program) {
  if (program.FirstError() == nullptr) return "error: the program did not compile";
  const Diagnostic& error = *program.FirstError();
  // An error of the whole text (UTF-16) has its line and no column.
  const std::string column = error.column > 0 ? ":" + std::to_string(error.column) : "";
  return std::to_string(error.line) + column + ": error: " + DescribeDiagnostic(error);
}

std::string FirstErrorCode(const Program& program) {
  return program.FirstError() != nullptr ? DiagnosticCode(program.FirstError()->kind) : "not-compiled";
}

const char* NotARewritableSource(const std::string& path, std::string_view bytes) {
  if (TakenAs(path, bytes, ProgramAs::kDetect) == ProgramAs::kImage) return "it reads as a program image, not a source";
  const std::size_t slash = path.rfind('/');
  const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (NameSays(path, ProgramAs::kDetect) == ProgramAs::kDetect && !IsProgramName(name)) {
    return "its name is not a program's (.asm, or no extension)";
  }
  return nullptr;
}

int SkipUnlessSource(const std::string& path, std::string_view bytes) {
  const char* const reason = NotARewritableSource(path, bytes);
  if (reason == nullptr) return 0;
  Report("%s was skipped: %s", VisibleText(path).c_str(), reason);
  return 1;
}

LoadResult LoadProgram(const std::string& path, ProgramAs as, Program& program, std::string& reason) {
  std::vector<std::uint8_t> image;
  if (NameSays(path, as) == ProgramAs::kImage) {
    // Opened without waiting, as sources are: a FIFO no one writes to reads
    // as empty at once.
    const ImageStatus status = ReadImageStream(OpenWithoutWaiting(path.c_str()).get(), image);
    if (status != ImageStatus::kLoaded) {
      reason = DescribeImageStatus(status, path);
      return LoadResult::kCannotRead;
    }
    Program::FromImage(path, std::move(image), program);
    return LoadResult::kLoaded;
  }
  // Read once, then taken as what the bytes are: a pipe has no second read.
  std::string bytes;
  if (ReadWholeFile(path, bytes, reason) == 0) return LoadProgram(path, std::move(bytes), as, program, reason);
  if (NameSays(path, as) == ProgramAs::kSource) return LoadResult::kCannotRead;
  // A file that says nothing of itself and could not be read is refused as
  // an image is, in an image reader's words.
  const ImageStatus status = ReadImageStream(OpenWithoutWaiting(path.c_str()).get(), image);
  reason = DescribeImageStatus(status == ImageStatus::kLoaded ? ImageStatus::kCannotRead : status, path);
  return LoadResult::kCannotRead;
}

LoadResult LoadProgram(const std::string& path, std::string bytes, ProgramAs as, Program& program, std::string& reason,
                       const AssemblyOptions& options) {
  if (Program::FromBytes(path, std::move(bytes), as, program, options) != ImageStatus::kLoaded) {
    reason = DescribeImageStatus(ImageStatus::kTooLarge, path);
    return LoadResult::kCannotRead;
  }
  return program.HasErrors() ? LoadResult::kSourceErrors : LoadResult::kLoaded;
}

int LoadProgramOrSay(const std::string& path, ProgramAs as, Program& program) {
  std::string reason;
  switch (LoadProgram(path, as, program, reason)) {
    case LoadResult::kLoaded:
      return 0;
    case LoadResult::kCannotRead:
      Report("%s", reason.c_str());
      break;
    case LoadResult::kSourceErrors:
      PrintDiagnostics(program, ColourWanted());
      break;
  }
  return 1;
}

}  // namespace mirvo::cli
