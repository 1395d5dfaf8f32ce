#pragma once
// The engine's results as JSON text: one serialisation, printed by mirvo's
// --json options and read by the web page from the WebAssembly engine.

#include <cstddef>
#include <string>

#include "Assembler.h"
#include "RunLoop.h"

namespace mirvo {

// An assembly: {"image": imagePath or null, "length": bytes,
//  "statements": [{"line", "column", "address", "bytes": [...]}],
//  "diagnostics": [{"severity", "code", "line", "column", "length", "message",
//                   "fixes": [{"line", "column", "length", "text", "title"}]}]}.
// imagePath is null when no image was written.
std::string AssemblyJson(const Assembler& assembler, const char* imagePath);

// The names and numbers a front end shows, so that none restates them:
//  "outcomes": [{"name", "final"}] indexed by RunOutcome value,
//  "registers", "flags": [{"name", "slot"}] in report order,
//  "operands": [{"name", "code", "ignoresCase"}] by register code,
//  "instructions": [{"mnemonic", "ignoresCase", "syntax", "encoding",
//                    "summary", "length", "operands": [shape names]}],
//  "bytes": the notation of each byte value ("05h", "0F0h"),
//  "numberPattern": how a number is written (kNumberPattern),
//  "memorySize".
std::string VocabularyJson();

// One step, as a line of mirvo run --trace --json shows it: {"step", "pc",
// "bytes": [...], "text": the instruction, "changes": {"A": {"before",
// "after"}, ... registers and flags that changed, in report order, and
// "memory": {"address", "before", "after"} for a store}}.
std::string StepRecordJson(const StepRecord& record);
// The same object written into out, which must have room for kStepJsonRoom
// characters, with text the instruction as Disassemble writes it; returns
// the end. No JSON value is built: a trace writes millions a second.
inline constexpr std::size_t kStepJsonRoom = 640;
char* AppendStepRecordJson(char* out, const StepRecord& record, const char* text);

}  // namespace mirvo
