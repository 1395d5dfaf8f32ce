#pragma once
// One learner's session in the web page: the last assembly of the editor's
// text, and a machine run from an image. The page's worker drives it through
// the C functions of PlaygroundApi.cpp; everything it computes comes from the
// engine libraries, so the page shows what the programs compute.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Assembler.h"
#include "InstructionSet.h"
#include "RunLoop.h"
#include "VirtualMachine.h"

namespace mirvo {

// Resume's answer when it stopped before a breakpoint; the engine's
// RunOutcome values lie below it.
inline constexpr int kStoppedAtBreakpoint = 5;

class Playground {
 public:
  Playground();

  // Assembles size bytes of text, keeping every diagnostic, warnings
  // included, and the statements. 0 on success, 1 with errors.
  int Assemble(const char* text, std::size_t size);
  // The diagnostics as a JSON array of {line, column, length, severity, message}.
  const std::string& DiagnosticsJson() const { return diagnosticsJson; }
  // Five integers a statement: line, address, length, first byte, second byte.
  const std::vector<std::int32_t>& StatementTable() const { return statementTable; }
  const std::uint8_t* AssembledImage() const { return assembler->GetImage().data(); }
  std::uint32_t AssembledLength() const { return assembler->GetLength(); }

  // Puts an image into a fresh machine and starts a run; the image is kept
  // for Restart. An ImageStatus value (0 loaded).
  int Load(const std::uint8_t* bytes, std::size_t size);
  // The machine as Load left it, with a new run.
  void Restart();
  // Runs at most budget more steps. With breakpoints on, stops before the
  // instruction at a breakpoint, except the first one when skipFirst is set
  // (so a run can go on from the breakpoint it stopped at). A RunOutcome
  // value, or kStoppedAtBreakpoint.
  int Resume(std::uint64_t budget, bool breakpoints, bool skipFirst);
  void SetBreakpoint(std::uint16_t address, bool on) { breakpointAt[address] = on; }
  void ClearBreakpoints() { breakpointAt.reset(); }

  const VirtualMachine& Machine() const { return *machine; }
  const Run& CurrentRun() const { return *run; }
  // The state map MirvoVM writes for this machine run from imagePath.
  const std::string& StateMap(const char* imagePath);
  // One line of disassembly of the instruction at address.
  const std::string& DisassembleAt(std::uint16_t address);
  // The run's outcome in words, as mirvo run shows it.
  const std::string& OutcomeText();
  const std::string& LastText() const { return text; }

 private:
  std::unique_ptr<Assembler> assembler;
  std::string source;
  std::string diagnosticsJson;
  std::vector<std::int32_t> statementTable;
  std::vector<std::uint8_t> image;
  std::unique_ptr<VirtualMachine> machine;
  std::unique_ptr<Run> run;
  std::bitset<kMemorySize> breakpointAt;
  std::string text;  // the last state map or disassembly handed out
};

}  // namespace mirvo
