#pragma once
// A program read from a file, once, into the engine's Program, and the
// diagnostics of a source as compilers and editors show them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "Program.h"
#include "SourceText.h"

namespace mirvo::cli {

// Where a diagnostic points: a line (0: none), a column (0: none) and the
// length of the token under it.
struct DiagnosticPlace {
  std::int32_t line;
  std::int32_t column;
  std::int32_t length;
};

// Appends one diagnostic to text as compilers print it:
// "PATH:LINE:COLUMN: warning: MESSAGE" ("PATH: ..." without a line), then
// the source line and a caret line under the token when the column is known.
void AppendDiagnostic(std::string& text, const std::string& path, const SourceLines& lines,
                      const DiagnosticPlace& place, Severity severity, std::string_view message, bool colour);

// Prints every diagnostic of a source, in one pass over it, as
// "NAME:LINE:COLUMN: error: MESSAGE", the source line, a caret line under
// the token and the fixes under it, then a count line such as "2 errors, 1
// warning generated." (nothing when there are none), all on standard error.
void PrintDiagnostics(const Program& program, bool colour);
// The same for diagnostics of the text source (a C program's), named name.
void PrintDiagnostics(const std::string& name, std::string_view source, std::span<const Diagnostic> diagnostics,
                      bool colour);

// The first error of a source that does not assemble, without the path:
// "1:8: error: MESSAGE".
std::string FirstErrorText(const Program& program);
// Its diagnostic's code, as grades name the cause: "not-a-register".
std::string FirstErrorCode(const Program& program);

// Why the file at path, holding bytes, is no source that mirvo fmt or asm
// --fix may rewrite, or null when it is one: it reads as an image by the rule
// of run and dis (a .bin name, or bytes that are not text under a name that
// says nothing), or its name says it is some other file (ex.toml, notes.txt).
const char* NotARewritableSource(const std::string& path, std::string_view bytes);
// The same, said: 0, or 1 after "mirvo: p.bin was skipped: ...".
int SkipUnlessSource(const std::string& path, std::string_view bytes);

enum class LoadResult { kLoaded, kCannotRead, kSourceErrors };

// Reads the file at path once (a pipe as well as a file), and takes it as a
// source or an image as Program::FromBytes does. For kCannotRead, reason
// holds the message (without "mirvo: "): an image's words unless the name
// or --as says source; for kSourceErrors the diagnostics are in program.
LoadResult LoadProgram(const std::string& path, ProgramAs as, Program& program, std::string& reason);
// The same for the bytes of the file at path, read already: path names it in
// messages and its name decides as above; a source is assembled with options
// (a submission's stop at the first error).
LoadResult LoadProgram(const std::string& path, std::string bytes, ProgramAs as, Program& program, std::string& reason,
                       const AssemblyOptions& options = AssemblyOptions::Full());
// The same for a command that stops when the program cannot be had: 0, or 1
// after the reason or the source's diagnostics on standard error.
int LoadProgramOrSay(const std::string& path, ProgramAs as, Program& program);

}  // namespace mirvo::cli
