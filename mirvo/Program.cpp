#include "Program.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "FileSource.h"
#include "ImageFile.h"
#include "Output.h"
#include "ProgramImage.h"
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

ShownLine Shown(const SourceLines& lines, std::int32_t line) {
  const std::string_view text = lines.Line(line);
  const std::size_t hidden = line == 1 && ReadTextStart(text).mark == TextMark::kUtf8 ? ReadTextStart(text).length : 0;
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

int AssembleSourceText(AssembledSource& source, const AssemblyOptions& options) {
  source.assembler = std::make_unique<Assembler>();
  source.assembler->Open(source.text.data(), source.text.size());
  return source.assembler->Assemble(options);
}

int AssembleSourceFile(const std::string& path, AssembledSource& source, std::string& reason) {
  if (ReadWholeFile(path, source.text, reason) != 0) return 1;
  AssembleSourceText(source);
  return 0;
}

SourceLines::SourceLines(std::string_view source) : text(source) {
  for (std::size_t start = 0; start < text.size();) {
    starts.push_back(start);
    const std::size_t end = text.find('\n', start);
    start = end == std::string_view::npos ? text.size() : end + 1;
  }
}

std::string_view SourceLines::Line(std::int32_t line) const {
  if (line < 1 || line > Count()) return {};
  const std::size_t start = starts[static_cast<std::size_t>(line - 1)];
  std::size_t end = text.find('\n', start);
  if (end == std::string_view::npos) end = text.size();
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

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

void PrintDiagnostics(const std::string& path, const AssembledSource& source, bool colour) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  const std::vector<Diagnostic>& diagnostics = source.assembler->GetDiagnostics();
  if (diagnostics.empty()) return;
  const SourceLines lines(source.text);
  std::string text;
  for (const Diagnostic& diagnostic : diagnostics) {
    const bool isError = SeverityOf(diagnostic.kind) == Severity::kError;
    (isError ? errors : warnings) += 1;
    text.clear();
    const DiagnosticPlace place{diagnostic.line, diagnostic.column, diagnostic.length};
    AppendDiagnostic(text, path, lines, place, SeverityOf(diagnostic.kind), DescribeDiagnostic(diagnostic), colour);
    if (diagnostic.column > 0) text += FixLines(Shown(lines, diagnostic.line), diagnostic, colour);
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

std::string DiagnosticLine(const std::string& path, const Diagnostic& diagnostic) {
  return path + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) + ": " +
         SeverityName(SeverityOf(diagnostic.kind)) + ": " + DescribeDiagnostic(diagnostic);
}

std::string FirstErrorText(const AssembledSource& source) {
  const Diagnostic& error = *source.assembler->FirstError();
  // An error of the whole text (UTF-16) has its line and no column.
  const std::string column = error.column > 0 ? ":" + std::to_string(error.column) : "";
  return std::to_string(error.line) + column + ": error: " + DescribeDiagnostic(error);
}

std::string FirstErrorCode(const AssembledSource& source) {
  return DiagnosticCode(source.assembler->FirstError()->kind);
}

bool LooksLikeSourceText(const std::string& bytes) {
  if (bytes.empty()) return false;
  // Text saved as UTF-16 is a source that the assembler names as such.
  if (ReadTextStart(bytes).mark == TextMark::kUtf16) return true;
  for (std::size_t at = 0; at < bytes.size();) {
    char32_t codepoint = 0;
    const std::size_t length = Utf8SequenceAt(bytes, at, codepoint);
    if (length == 0 || codepoint == 0x7F) return false;
    if (codepoint < 0x20 && codepoint != '\t' && codepoint != '\n' && codepoint != '\r' && codepoint != '\f') {
      return false;
    }
    at += length;
  }
  return true;
}

namespace {

bool EndsWithAnyCase(std::string_view text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
  }
  return true;
}

bool HoldsAnyCase(std::string_view text, const char* part) {
  for (std::size_t end = std::strlen(part); end <= text.size(); ++end) {
    if (EndsWithAnyCase(text.substr(0, end), part)) return true;
  }
  return false;
}

// What the name alone says: a source, an image, or nothing (the content decides).
enum class NameSays { kSource, kImage, kNothing };

NameSays WhatNameSays(std::string_view path, ProgramAs as) {
  if (as != ProgramAs::kDetect) return as == ProgramAs::kSource ? NameSays::kSource : NameSays::kImage;
  if (EndsWithAnyCase(path, ".asm")) return NameSays::kSource;
  if (EndsWithAnyCase(path, ".bin")) return NameSays::kImage;
  return NameSays::kNothing;
}

}  // namespace

bool ReadsAsSource(const std::string& path, ProgramAs as) {
  const NameSays says = WhatNameSays(path, as);
  if (says != NameSays::kNothing) return says == NameSays::kSource;
  std::string bytes;
  std::string reason;
  return ReadWholeFile(path, bytes, reason) == 0 && LooksLikeSourceText(bytes);
}

bool IsProgramName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '~') return false;
  if (EndsWithAnyCase(name, ".asm") || EndsWithAnyCase(name, ".bin")) return true;
  return name.find('.') == std::string_view::npos || HoldsAnyCase(name, ".asm.") || HoldsAnyCase(name, ".bin.");
}

bool NamesSource(std::string_view name) { return EndsWithAnyCase(name, ".asm") || HoldsAnyCase(name, ".asm."); }

namespace {

// The program in bytes, once it is known whether they are a source.
LoadResult LoadRead(const std::string& path, std::string bytes, LoadedProgram& program, std::string& reason,
                    const AssemblyOptions& options = kFullAssembly) {
  if (program.fromSource) {
    program.source.text = std::move(bytes);
    AssembleSourceText(program.source, options);
    const Assembler& assembler = *program.source.assembler;
    if (assembler.GetErrorCount() > 0) return LoadResult::kSourceErrors;
    program.bytes.assign(assembler.GetImage().begin(), assembler.GetImage().begin() + assembler.GetLength());
    return LoadResult::kLoaded;
  }
  if (bytes.size() > kMemorySize) {
    reason = DescribeImageStatus(ImageStatus::kTooLarge, path);
    return LoadResult::kCannotRead;
  }
  program.bytes.assign(bytes.begin(), bytes.end());
  return LoadResult::kLoaded;
}

}  // namespace

LoadResult LoadProgram(const std::string& path, ProgramAs as, LoadedProgram& program, std::string& reason) {
  program.bytes.clear();
  program.fromSource = ReadsAsSource(path, as);
  if (program.fromSource) {
    std::string text;
    if (ReadWholeFile(path, text, reason) != 0) return LoadResult::kCannotRead;
    return LoadRead(path, std::move(text), program, reason);
  }
  const ImageStatus status = ReadImageStream(OpenWithoutWaiting(path.c_str()).get(), program.bytes);
  if (status != ImageStatus::kLoaded) {
    reason = DescribeImageStatus(status, path);
    return LoadResult::kCannotRead;
  }
  return LoadResult::kLoaded;
}

LoadResult LoadProgram(const std::string& path, std::string bytes, ProgramAs as, LoadedProgram& program,
                       std::string& reason) {
  program.bytes.clear();
  const NameSays says = WhatNameSays(path, as);
  program.fromSource = says == NameSays::kNothing ? LooksLikeSourceText(bytes) : says == NameSays::kSource;
  return LoadRead(path, std::move(bytes), program, reason, kSubmissionAssembly);
}

int LoadProgramOrSay(const std::string& path, ProgramAs as, LoadedProgram& program) {
  std::string reason;
  switch (LoadProgram(path, as, program, reason)) {
    case LoadResult::kLoaded:
      return 0;
    case LoadResult::kCannotRead:
      Report("%s", reason.c_str());
      break;
    case LoadResult::kSourceErrors:
      PrintDiagnostics(path, program.source, ColourWanted());
      break;
  }
  return 1;
}

}  // namespace mirvo::cli
