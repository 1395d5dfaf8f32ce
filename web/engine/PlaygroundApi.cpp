// The C functions the page's worker calls (as Module._pg_*). Each takes the
// session made by pg_create; pointers into the session stay valid until the
// next call that changes what they point at.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <new>

#include "Playground.h"
#include "ProgramImage.h"

using mirvo::Playground;

extern "C" {

EMSCRIPTEN_KEEPALIVE Playground* pg_create() { return new (std::nothrow) Playground(); }
EMSCRIPTEN_KEEPALIVE void pg_destroy(Playground* session) { delete session; }

// Assembly: 0 or 1; then the diagnostics as JSON text, the statement table
// and the image.
EMSCRIPTEN_KEEPALIVE int pg_assemble(Playground* session, const char* text, std::uint32_t size) {
  return session->Assemble(text, size);
}
EMSCRIPTEN_KEEPALIVE const char* pg_diagnostics(Playground* session) { return session->DiagnosticsJson().c_str(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_diagnostics_size(Playground* session) {
  return static_cast<std::uint32_t>(session->DiagnosticsJson().size());
}
EMSCRIPTEN_KEEPALIVE const std::int32_t* pg_statements(Playground* session) {
  return session->StatementTable().data();
}
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_statement_count(Playground* session) {
  return static_cast<std::uint32_t>(session->StatementTable().size() / 5);
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_image(Playground* session) { return session->AssembledImage(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_image_size(Playground* session) { return session->AssembledLength(); }

// Running: load (an ImageStatus value), restart, resume (a RunOutcome value
// or 5 for a breakpoint), breakpoints.
EMSCRIPTEN_KEEPALIVE int pg_load(Playground* session, const std::uint8_t* bytes, std::uint32_t size) {
  return session->Load(bytes, size);
}
// Why an image was refused: a printf format with one %s for its name.
EMSCRIPTEN_KEEPALIVE const char* pg_image_error(int status) {
  const char* const format = mirvo::ImageErrorFormat(static_cast<mirvo::ImageStatus>(status));
  return format == nullptr ? "" : format;
}
EMSCRIPTEN_KEEPALIVE void pg_restart(Playground* session) { session->Restart(); }
EMSCRIPTEN_KEEPALIVE int pg_resume(Playground* session, double budget, int breakpoints, int skipFirst) {
  return session->Resume(static_cast<std::uint64_t>(budget), breakpoints != 0, skipFirst != 0);
}
EMSCRIPTEN_KEEPALIVE void pg_set_breakpoint(Playground* session, int address, int on) {
  session->SetBreakpoint(static_cast<std::uint16_t>(address), on != 0);
}
EMSCRIPTEN_KEEPALIVE void pg_clear_breakpoints(Playground* session) { session->ClearBreakpoints(); }

// The machine: registers (8 bytes by register code), flags (8 bytes by flag
// slot), memory (65536 bytes), PC, SP, and the run's counters (as doubles:
// exact below 2^53).
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_registers(Playground* session) {
  return session->Machine().GetRegisters().data();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_flags(Playground* session) { return session->Machine().GetFlags().data(); }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* pg_memory(Playground* session) { return &session->Machine().MemoryAt(0); }
EMSCRIPTEN_KEEPALIVE int pg_pc(Playground* session) { return session->Machine().GetProgramCounter(); }
EMSCRIPTEN_KEEPALIVE int pg_sp(Playground* session) { return session->Machine().GetStackPointer(); }
EMSCRIPTEN_KEEPALIVE int pg_outcome(Playground* session) { return static_cast<int>(session->CurrentRun().Outcome()); }
EMSCRIPTEN_KEEPALIVE double pg_steps(Playground* session) {
  return static_cast<double>(session->CurrentRun().Steps());
}
EMSCRIPTEN_KEEPALIVE double pg_step_limit(Playground* session) {
  return static_cast<double>(session->CurrentRun().StepLimit());
}
EMSCRIPTEN_KEEPALIVE double pg_repeat_wrap(Playground* session) {
  return static_cast<double>(session->CurrentRun().RepeatWrap());
}
EMSCRIPTEN_KEEPALIVE double pg_repeat_of_wrap(Playground* session) {
  return static_cast<double>(session->CurrentRun().RepeatOfWrap());
}

// Text: the state map for an image path, one line of disassembly or the
// outcome in words; then its size.
EMSCRIPTEN_KEEPALIVE const char* pg_state_map(Playground* session, const char* imagePath) {
  return session->StateMap(imagePath).c_str();
}
EMSCRIPTEN_KEEPALIVE const char* pg_disassemble(Playground* session, int address) {
  return session->DisassembleAt(static_cast<std::uint16_t>(address)).c_str();
}
EMSCRIPTEN_KEEPALIVE const char* pg_outcome_text(Playground* session) { return session->OutcomeText().c_str(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t pg_text_size(Playground* session) {
  return static_cast<std::uint32_t>(session->LastText().size());
}

}  // extern "C"
