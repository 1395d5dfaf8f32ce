#pragma once
// A program on its way to a run, built the same way by every front end
// (mirvo, the language server, the page): its name, and either a source's
// text with its assembly (diagnostics, fixes, statements, allowances) or an
// image's bytes; the bytes that run; and what the run-time checks know of it.
// It reads no file: a front end hands it the bytes it read, once.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Assembler.h"
#include "Compiler.h"
#include "ProgramImage.h"
#include "RunChecks.h"

namespace mirvo {

// How a program's bytes are taken: as its name or content says, or as the
// user decided (mirvo's --as source|image).
enum class ProgramAs { kDetect, kSource, kImage };

// What a name alone says: kSource for one ending in .asm and kImage for one
// ending in .bin (in any case), kDetect for any other (lab1.asm.txt, a name
// without extension): the content decides. as itself when it is not kDetect.
ProgramAs NameSays(std::string_view name, ProgramAs as);
// True when a file found in a folder is a program by its own name (without
// the folders): one ending in .asm, .bin or .c in any case, one without an
// extension, or one where .asm or .bin comes before another extension
// (lab1.asm.txt, as browsers save it). A name starting with a dot or ending
// in ~, or with any other extension (README.txt, lab1.zip, add.toml), is not.
bool IsProgramName(std::string_view name);
// True when such a name says source: .asm at its end or before another extension.
bool NamesSource(std::string_view name);
// True for a name ending in .c (in any case): a C program, compiled first.
bool NamesC(std::string_view name);

// True for bytes that read as assembly text: UTF-8 with no control
// characters but tabs, line ends and form feeds, and not empty. Machine code
// almost never is (RET is C9h, an MVI's number is often below 20h).
bool LooksLikeSourceText(std::string_view bytes);
// What the bytes of a file called name are taken as, kSource or kImage: as
// NameSays(name, as) says, or else as they look (LooksLikeSourceText).
ProgramAs TakenAs(std::string_view name, std::string_view bytes, ProgramAs as);

class Program {
 public:
  // An empty image.
  Program() = default;
  Program(Program&&) = default;
  Program& operator=(Program&&) = default;

  // A source, assembled with options (every diagnostic, by default); a C
  // program (NamesC(name)) is compiled first and its assembly assembled.
  static Program FromSource(std::string name, std::string text,
                            const AssemblyOptions& options = AssemblyOptions::Full());
  // A source taken as assembly whatever its name says. Unlike FromSource it
  // never reaches the compiler, so a front end that builds programs with it
  // alone (the page's first engine) links no compiler.
  static Program FromAssembly(std::string name, std::string text,
                              const AssemblyOptions& options = AssemblyOptions::Full());
  // A C program compiled with compileOptions (FromSource compiles optimised),
  // whatever its name says.
  static Program FromC(std::string name, std::string text, const cc::CompileOptions& compileOptions);
  // An image: kTooLarge for more than 65536 bytes, program then untouched.
  static ImageStatus FromImage(std::string name, std::vector<std::uint8_t> bytes, Program& program);
  // The bytes of a file called name, read already: a source or an image as
  // TakenAs(name, bytes, as) says.
  static ImageStatus FromBytes(std::string name, std::string bytes, ProgramAs as, Program& program,
                               const AssemblyOptions& options = AssemblyOptions::Full());

  const std::string& Name() const { return name; }
  bool IsSource() const { return assembly != nullptr || isC; }
  bool IsC() const { return isC; }
  // The source's text, as assembled or compiled (empty for an image).
  const std::string& Text() const { return text; }
  // The source's assembly (a C program's compiled assembly, when it
  // compiled), or null for an image.
  const Assembler* Assembly() const { return assembly.get(); }
  // The source's diagnostics: the assembler's, or the compiler's at C lines.
  std::span<const Diagnostic> Diagnostics() const;
  // The first error among them, or null.
  const Diagnostic* FirstError() const;
  // A source with an error, whose image is not whole: it does not run. A C
  // program that did not compile is one even when no diagnostic says why.
  bool HasErrors() const { return FirstError() != nullptr || (isC && !compiled->ok); }
  // A C program's compilation (its assembly text, source map, placements),
  // or null for any other program.
  const cc::CompileResult* Compiled() const { return compiled.get(); }
  // The bytes from address 0: the image's, or those the assembly encoded.
  std::span<const std::uint8_t> Image() const;
  // Assembles text in place of the source's (a source's fixes applied),
  // with the options it was first assembled with.
  void Reassemble(std::string newText);
  // Applies every fix that is sure (the one fix of its diagnostic), again
  // while fixing uncovers more, and reassembles: what mirvo asm --fix and
  // the editor's "fix all" do. The number of fixes applied.
  std::size_t ApplySureFixes();
  // What the run-time checks know of the program for a run whose given
  // state set givenRegisters (one bit per register code): the statements of
  // a source (a C program's at the C statement they came from), the
  // image's length alone otherwise.
  CheckedProgram Checked(std::uint8_t givenRegisters = 0) const;

 private:
  // Compiles text, then assembles the assembly it became.
  void Recompile();

  std::string name;
  std::string text;
  bool isC = false;
  cc::CompileOptions compileOptions;
  // The compiler, set for a C program (FromC, FromSource of a C name): held
  // as a pointer so that the code of a program made from assembly or an
  // image does not name it.
  cc::CompileResult (*compiler)(std::string_view, const cc::CompileOptions&) = nullptr;
  std::unique_ptr<cc::CompileResult> compiled;
  // Held apart so that a Program moves without moving the assembler's buffer.
  std::unique_ptr<Assembler> assembly;
  AssemblyOptions options = AssemblyOptions::Full();
  std::vector<std::uint8_t> bytes;  // an image's
};

}  // namespace mirvo
