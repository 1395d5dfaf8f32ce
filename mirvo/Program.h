#pragma once
// A program to run, from an image file or from a source assembled in memory,
// and the diagnostics of a source as compilers and editors show them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Assembler.h"
#include "ProgramImage.h"
#include "RunLoop.h"

namespace mirvo::cli {

// The assembly options every subcommand uses: collect every diagnostic,
// record where each statement went, keep the warnings, read the text's mark.
inline constexpr AssemblyOptions kFullAssembly = kLearnerAssembly;
// A submission's: the first error ends it, since a program with an error
// scores nothing and its reports name that error alone. A source of millions
// of errors then costs one diagnostic, not gigabytes. Statements are still
// recorded, for the run-time checks.
inline constexpr AssemblyOptions kSubmissionAssembly{false, true, false, true};

// A source read into memory and assembled.
struct AssembledSource {
  std::string text;
  std::unique_ptr<Assembler> assembler;
};

// Assembles source.text (again) into a new source.assembler; Assemble's result.
int AssembleSourceText(AssembledSource& source, const AssemblyOptions& options = kFullAssembly);

// Reads and assembles the source at path. 0 when it was read (whatever its
// diagnostics), or 1 with reason set to why it could not be read.
int AssembleSourceFile(const std::string& path, AssembledSource& source, std::string& reason);

// The physical lines of a text, split once: line n (1-based) without its
// line end ("\n", or "\r\n"). A line may hold any byte, NUL included.
class SourceLines {
 public:
  explicit SourceLines(std::string_view text);
  // The lines there are; a last line without a line end counts.
  std::int32_t Count() const { return static_cast<std::int32_t>(starts.size()); }
  // Empty past the end.
  std::string_view Line(std::int32_t line) const;

 private:
  std::string_view text;
  std::vector<std::size_t> starts;
};

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

// Prints every diagnostic, in one pass over the source, as
// "PATH:LINE:COLUMN: error: MESSAGE", the source line, a caret line under
// the token and the fixes under it, then a count line such as "2 errors, 1
// warning generated." (nothing when there are none), all on standard error.
void PrintDiagnostics(const std::string& path, const AssembledSource& source, bool colour);

// "PATH:LINE:COLUMN: error: MESSAGE" without colour, for one-line reports.
std::string DiagnosticLine(const std::string& path, const Diagnostic& diagnostic);

// How a program file is read: as its name or content says, or as the user
// decided (--as source|image).
enum class ProgramAs { kDetect, kSource, kImage };

// True for bytes that read as assembly text: UTF-8 with no control
// characters but tabs, line ends and form feeds, and not empty. Machine code
// almost never is (RET is C9h, an MVI's number is often below 20h). Text
// that starts with a UTF-16 mark counts too: the assembler says what it is.
bool LooksLikeSourceText(const std::string& bytes);

// The first error of a source that does not assemble, without the path:
// "1:8: error: MESSAGE".
std::string FirstErrorText(const AssembledSource& source);
// Its diagnostic's code, as grades name the cause: "not-a-register".
std::string FirstErrorCode(const AssembledSource& source);

// True when the file at path is read as assembly source: a name ending in
// .asm (in any case) is a source and one ending in .bin an image; any other
// name (lab1.asm.txt, a name without extension) is decided by the content.
bool ReadsAsSource(const std::string& path, ProgramAs as);

// True when a file found in a folder is a program by its own name (without
// the folders): one ending in .asm or .bin in any case, one without an
// extension, or one where .asm or .bin comes before another extension
// (lab1.asm.txt, as browsers save it). A name starting with a dot or ending
// in ~, or with any other extension (README.txt, lab1.zip, add.toml), is not.
bool IsProgramName(std::string_view name);
// True when such a name says source: .asm at its end or before another extension.
bool NamesSource(std::string_view name);

// The bytes of a program: the image file's, or the assembled source's.
struct LoadedProgram {
  std::vector<std::uint8_t> bytes;
  AssembledSource source;  // set for a source
  bool fromSource = false;
};

enum class LoadResult { kLoaded, kCannotRead, kSourceErrors };

// Reads an image, or assembles a source. For kCannotRead, reason holds the
// message (without "mirvo: "); for kSourceErrors the diagnostics are in
// program.source.
LoadResult LoadProgram(const std::string& path, ProgramAs as, LoadedProgram& program, std::string& reason);
// The same for the bytes of a submission at path, read already: path names it
// in messages and its name decides as above; a source is assembled as
// kSubmissionAssembly says.
LoadResult LoadProgram(const std::string& path, std::string bytes, ProgramAs as, LoadedProgram& program,
                       std::string& reason);
// The same for a command that stops when the program cannot be had: 0, or 1
// after the reason or the source's diagnostics on standard error.
int LoadProgramOrSay(const std::string& path, ProgramAs as, LoadedProgram& program);

}  // namespace mirvo::cli
