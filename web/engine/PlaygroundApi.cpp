// The C functions the page's worker calls (as Module._pg_*). Each takes the
// session made by pg_create; pointers into the session stay valid until the
// next call that changes what they point at. Texts are handed out as a
// pointer, with their size from pg_text_size.

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#else
// Built natively for the fuzz target.
#define EMSCRIPTEN_KEEPALIVE
#endif

#include <cstdint>
#include <new>

#include "EngineJson.h"
#include "InstructionSet.h"
#include "JsonText.h"
#include "Playground.h"

using mirvo::Playground;

namespace {

// A count of steps from JavaScript: clamped, never a conversion out of range.
std::uint64_t StepCount(double steps) {
  return steps >= 1.8e19 ? UINT64_MAX : steps > 0 ? static_cast<std::uint64_t>(steps) : 0;
}

// A watch from JavaScript's numbers, when they make one.
bool MakeWatch(int kind, int which, mirvo::Watch& watch) {
  if (kind < 0 || kind > 3 || which < 0 || which > 0xFFFF) return false;
  watch = {static_cast<mirvo::WatchKind>(kind), static_cast<std::uint16_t>(which)};
  return true;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE Playground* pg_create() { return new (std::nothrow) Playground(); }
EMSCRIPTEN_KEEPALIVE void pg_destroy(Playground* session) { delete session; }

// The names and numbers the page shows (outcomes, registers, flags, operand
// names, the instruction table, the byte notation), as JSON text.
EMSCRIPTEN_KEEPALIVE const char* pg_vocabulary(Playground* session) {
  return session->Hand(mirvo::DumpJson(mirvo::VocabularyJson()));
}

// Assembly: 0 or 1; then the assembly as JSON text (mirvo asm --json's
// object, or after pg_compile mirvo cc --json's) and the image.
EMSCRIPTEN_KEEPALIVE int pg_assemble(Playground* session, const char* text, std::uint32_t size) {
  return session->Assemble(text, size);
}
EMSCRIPTEN_KEEPALIVE const char* pg_assembly(Playground* session) {
  return session->Hand(mirvo::DumpJson(session->AssemblyReport()));
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_image(Playground* session) { return session->AssembledImage(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_image_size(Playground* session) { return session->AssembledLength(); }

// Running: load (an ImageStatus value), why an image was refused, restart,
// resume (a RunOutcome value), breakpoints.
EMSCRIPTEN_KEEPALIVE int pg_load(Playground* session, const std::uint8_t* bytes, std::uint32_t size) {
  return session->Load(bytes, size);
}
EMSCRIPTEN_KEEPALIVE const char* pg_image_status_text(Playground* session, int status, const char* name) {
  return session->Hand(Playground::ImageStatusText(status, name));
}
EMSCRIPTEN_KEEPALIVE void pg_restart(Playground* session) { session->Restart(); }
EMSCRIPTEN_KEEPALIVE int pg_resume(Playground* session, double budget, int breakpoints, int skipFirst) {
  return static_cast<int>(session->Resume(StepCount(budget), breakpoints != 0, skipFirst != 0));
}
EMSCRIPTEN_KEEPALIVE void pg_set_breakpoint(Playground* session, int address, int on) {
  session->SetBreakpoint(static_cast<std::uint16_t>(address), on != 0);
}
EMSCRIPTEN_KEEPALIVE void pg_clear_breakpoints(Playground* session) { session->ClearBreakpoints(); }

// Watchpoints and time travel. A watch: kind 0 a register, 1 a flag (which:
// the slot), 2 a memory byte, 3 an executed address (which: the address);
// 1 when added. pg_go_to shows the state after a step of the run;
// pg_back_to_change searches back for the last step that did what a watch
// watches: 0 found (and shown), 1 not found, 2 not yet (call again with
// fresh 0).
EMSCRIPTEN_KEEPALIVE int pg_add_watch(Playground* session, int kind, int which) {
  mirvo::Watch watch{};
  return MakeWatch(kind, which, watch) && session->AddWatch(watch) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE void pg_clear_watches(Playground* session) { session->ClearWatches(); }
EMSCRIPTEN_KEEPALIVE void pg_go_to(Playground* session, double step) { session->GoTo(StepCount(step)); }
EMSCRIPTEN_KEEPALIVE int pg_back_to_change(Playground* session, int kind, int which, double budget, int fresh) {
  mirvo::Watch watch{};
  if (!MakeWatch(kind, which, watch) || ((kind == 0 || kind == 1) && which > 7)) return 1;
  return static_cast<int>(session->BackToChange(watch, StepCount(budget), fresh != 0));
}

// The machine: registers (8 bytes by register code), flags (8 bytes by flag
// slot), memory (65536 bytes), PC, SP, HL (the address of Mem), and the
// run: its outcome and counters (as doubles: exact below 2^53): the step
// shown, and the most the run has taken.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_registers(Playground* session) {
  return session->Machine().GetRegisters().data();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_flags(Playground* session) { return session->Machine().GetFlags().data(); }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_memory(Playground* session) { return &session->Machine().MemoryAt(0); }
EMSCRIPTEN_KEEPALIVE int pg_pc(Playground* session) { return session->Machine().GetProgramCounter(); }
EMSCRIPTEN_KEEPALIVE int pg_sp(Playground* session) { return session->Machine().GetStackPointer(); }
EMSCRIPTEN_KEEPALIVE int pg_hl(Playground* session) {
  const mirvo::RegisterFile& registers = session->Machine().GetRegisters();
  return mirvo::HlAddress(registers[mirvo::kRegH], registers[mirvo::kRegL]);
}
EMSCRIPTEN_KEEPALIVE int pg_outcome(Playground* session) { return static_cast<int>(session->Outcome()); }
EMSCRIPTEN_KEEPALIVE double pg_steps(Playground* session) { return static_cast<double>(session->Position()); }
EMSCRIPTEN_KEEPALIVE double pg_run_steps(Playground* session) { return static_cast<double>(session->RunSteps()); }

// Texts: the state map for an image path, one line of disassembly, the
// outcome in words, the last step as JSON ("null" when not recorded), the
// checks' findings as JSON.
EMSCRIPTEN_KEEPALIVE const char* pg_state_map(Playground* session, const char* imagePath) {
  return session->Hand(session->StateMap(imagePath));
}
EMSCRIPTEN_KEEPALIVE const char* pg_disassemble(Playground* session, int address) {
  return session->Hand(session->DisassembleAt(static_cast<std::uint16_t>(address)));
}
EMSCRIPTEN_KEEPALIVE const char* pg_outcome_text(Playground* session) { return session->Hand(session->OutcomeText()); }
EMSCRIPTEN_KEEPALIVE const char* pg_last_step(Playground* session) { return session->Hand(session->LastStepReport()); }
// What the run-time checks found so far, as JSON.
EMSCRIPTEN_KEEPALIVE const char* pg_checks(Playground* session) {
  return session->Hand(mirvo::DumpJson(session->ChecksReport()));
}
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_text_size(Playground* session) {
  return static_cast<std::uint32_t>(session->LastText().size());
}

}  // extern "C"
