#include "Program.h"
#include "DiagnosticFix.h"
#include "TextEncoding.h"
#include "TextEscape.h"

#include <cctype>
#include <cstring>

namespace mirvo {

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

// Moves each statement of a C program's assembly to the innermost C
// statement whose bytes hold it (a loop's body rather than the loop), so
// that the run-time checks point at C lines; one that no C statement holds
// (the tables' prologue) keeps no place.
void PlaceAtCLines(std::vector<StatementRecord>& statements, const std::vector<cc::StatementSpan>& map) {
  for (StatementRecord& record : statements) {
    record.line = 0;
    record.column = 0;
    int narrowest = static_cast<int>(kMemorySize) + 1;
    for (const cc::StatementSpan& span : map) {
      const int width = span.endAddress - span.firstAddress;
      if (record.address >= span.firstAddress && record.address < span.endAddress && width < narrowest) {
        narrowest = width;
        record.line = span.line;
        record.column = span.column;
      }
    }
  }
}

}  // namespace

ProgramAs NameSays(std::string_view name, ProgramAs as) {
  if (as != ProgramAs::kDetect) return as;
  if (EndsWithAnyCase(name, ".asm") || NamesC(name)) return ProgramAs::kSource;
  if (EndsWithAnyCase(name, ".bin")) return ProgramAs::kImage;
  return ProgramAs::kDetect;
}

bool IsProgramName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '~') return false;
  if (EndsWithAnyCase(name, ".asm") || EndsWithAnyCase(name, ".bin") || NamesC(name)) return true;
  return name.find('.') == std::string_view::npos || HoldsAnyCase(name, ".asm.") || HoldsAnyCase(name, ".bin.");
}

bool NamesSource(std::string_view name) { return EndsWithAnyCase(name, ".asm") || HoldsAnyCase(name, ".asm."); }

bool NamesC(std::string_view name) { return EndsWithAnyCase(name, ".c"); }

bool LooksLikeSourceText(std::string_view bytes) {
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

ProgramAs TakenAs(std::string_view name, std::string_view bytes, ProgramAs as) {
  const ProgramAs says = NameSays(name, as);
  if (says != ProgramAs::kDetect) return says;
  return LooksLikeSourceText(bytes) ? ProgramAs::kSource : ProgramAs::kImage;
}

Program Program::FromSource(std::string name, std::string text, const AssemblyOptions& options) {
  Program program;
  program.name = std::move(name);
  program.options = options;
  if (NamesC(program.name)) {
    program.isC = true;
    program.compiler = &cc::Compile;
  }
  program.Reassemble(std::move(text));
  return program;
}

Program Program::FromAssembly(std::string name, std::string text, const AssemblyOptions& options) {
  Program program;
  program.name = std::move(name);
  program.options = options;
  program.Reassemble(std::move(text));
  return program;
}

Program Program::FromC(std::string name, std::string text, const cc::CompileOptions& compileOptions) {
  Program program;
  program.name = std::move(name);
  program.isC = true;
  program.compileOptions = compileOptions;
  program.compiler = &cc::Compile;
  program.Reassemble(std::move(text));
  return program;
}

ImageStatus Program::FromImage(std::string name, std::vector<std::uint8_t> bytes, Program& program) {
  if (bytes.size() > kMemorySize) return ImageStatus::kTooLarge;
  program = Program();
  program.name = std::move(name);
  program.bytes = std::move(bytes);
  return ImageStatus::kLoaded;
}

ImageStatus Program::FromBytes(std::string name, std::string bytes, ProgramAs as, Program& program,
                               const AssemblyOptions& options) {
  if (TakenAs(name, bytes, as) == ProgramAs::kSource) {
    program = FromSource(std::move(name), std::move(bytes), options);
    return ImageStatus::kLoaded;
  }
  return FromImage(std::move(name), std::vector<std::uint8_t>(bytes.begin(), bytes.end()), program);
}

std::span<const std::uint8_t> Program::Image() const {
  if (assembly) return {assembly->GetImage().data(), assembly->GetLength()};
  return bytes;
}

void Program::Reassemble(std::string newText) {
  text = std::move(newText);
  if (isC) return Recompile();
  // The assembler reads the text during Assemble only.
  assembly = std::make_unique<Assembler>();
  assembly->Open(text.data(), text.size());
  assembly->Assemble(options);
}

void Program::Recompile() {
  compiled = std::make_unique<cc::CompileResult>(compiler(text, compileOptions));
  assembly.reset();
  if (!compiled->ok) return;
  assembly = std::make_unique<Assembler>();
  assembly->Open(compiled->assembly.data(), compiled->assembly.size());
  assembly->Assemble(options);
}

std::span<const Diagnostic> Program::Diagnostics() const {
  if (isC) return compiled->diagnostics;
  if (assembly) return assembly->GetDiagnostics();
  return {};
}

const Diagnostic* Program::FirstError() const {
  for (const Diagnostic& diagnostic : Diagnostics()) {
    if (SeverityOf(diagnostic.kind) == Severity::kError) return &diagnostic;
  }
  // The compiled assembly of a C program has no error, or the compiler is wrong.
  if (isC && assembly) return assembly->FirstError();
  return nullptr;
}

std::size_t Program::ApplySureFixes() {
  // Fixes are the assembler's, of assembly text.
  if (isC || !assembly) return 0;
  // A fix removes a mistake and each round needs one: a bound, not a loop
  // that could run for ever.
  constexpr int kRounds = 8;
  std::size_t total = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Fix> sure;
    for (const Diagnostic& diagnostic : assembly->GetDiagnostics()) {
      if (const Fix* const fix = SureFix(diagnostic)) sure.push_back(*fix);
    }
    std::size_t applied = 0;
    std::string fixed = ApplyFixes(text, sure, &applied);
    if (applied == 0) break;
    total += applied;
    Reassemble(std::move(fixed));
  }
  return total;
}

CheckedProgram Program::Checked(std::uint8_t givenRegisters) const {
  CheckedProgram checked;
  if (assembly) {
    checked = ProgramOf(*assembly);
    if (isC) PlaceAtCLines(checked.statements, compiled->map);
  } else {
    checked.imageLength = static_cast<std::uint32_t>(bytes.size());
  }
  checked.givenRegisters = givenRegisters;
  return checked;
}

}  // namespace mirvo
