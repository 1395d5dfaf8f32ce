#pragma once
// The engine's results as JSON values: one serialisation, printed by mirvo's
// --json options and read by the web page from the WebAssembly engine. Each
// front end writes a value out once, with DumpJson (JsonText.h).

#include <cstddef>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Compiler.h"
#include "RunChecks.h"
#include "RunLoop.h"

namespace mirvo {

// An assembly: {"image": imagePath or null, "length": bytes,
//  "statements": [{"line", "column", "address", "bytes": [...]}],
//  "diagnostics": [{"severity", "code", "line", "column", "length", "message",
//                   "fixes": [{"line", "column", "length", "text", "title"}]}]}.
// imagePath is null when no image was written.
nlohmann::ordered_json AssemblyJson(const Assembler& assembler, const char* imagePath);
// Diagnostics as AssemblyJson lists them.
nlohmann::ordered_json DiagnosticsJson(std::span<const Diagnostic> diagnostics);

// A C program compiled: {"assembly": the text, "image": [bytes], "map":
// [{"line", "column", "end_line", "end_column", "first_address",
// "end_address" (exclusive), "assembly_lines": [...]}] per C statement,
// "placed": {name: address}, "diagnostics": as AssemblyJson's, at C lines}.
nlohmann::ordered_json CompileJson(const cc::CompileResult& result);

// The names and numbers a front end shows, so that none restates them:
//  "outcomes": [{"name", "final"}] indexed by RunOutcome value,
//  "registers", "flags": [{"name", "slot"}] in report order,
//  "operands": [{"name", "code", "ignoresCase"}] by register code,
//  "instructions": [{"mnemonic", "ignoresCase", "syntax", "encoding",
//                    "summary", "length", "operands": [shape names]}],
//  "bytes": the notation of each byte value ("05h", "0F0h"),
//  "addressNotation": {"digits", "suffix"}: an address in words, upper-case
//   hexadecimal in that many places and the suffix (000Ch, as WordNotation),
//  "numberPattern": how a number is written (kNumberPattern: its first group
//   the sign, its third the hexadecimal digits),
//  "memorySize",
//  "shownDiagnostics": how many diagnostics a front end shows (kShownDiagnostics).
nlohmann::ordered_json VocabularyJson();

// One step, as a line of mirvo run --trace --json --explain shows it, as
// text: a step is the one result written straight as JSON text, since a
// trace writes millions a second:
// {"step", "pc", "bytes": [...], "text": the instruction, "read":
// {"address", "value"} for a step that read Mem, "changes": {"A": {"before",
// "after"}, ... registers and flags that changed, in report order, and
// "memory": {"address", "before", "after"} for a store}, "explain": the
// step in words}.
std::string StepRecordJson(const StepRecord& record);
// The same object written into out, with text the instruction as Disassemble
// writes it and explanation the "explain" member (left out when null), of
// which at most kExplanationRoom characters are written; returns the end.
// out must have room for kStepJsonRoom characters. No JSON value is built: a
// trace writes millions a second.
inline constexpr std::size_t kExplanationRoom = 1024;
inline constexpr std::size_t kStepJsonRoom = 640 + kExplanationRoom;
char* AppendStepRecordJson(char* out, const StepRecord& record, const char* text, const std::string* explanation);

// What the run-time checks found, in the order the run showed it:
// [{"id", "step", "address", "line", "column", "length", "message"}]; line,
// column and length are 0 when the source is not known.
nlohmann::ordered_json CheckFindingsJson(std::span<const CheckFinding> findings);

// What a run came to, as mirvo run --json prints it: {"outcome", "steps",
// "registers": {"A", ...} and "flags": {"S", ...} in report order, "pc",
// "sp", "changed": [{"address", "before", "after"}] (ChangedMemory),
// "checks": CheckFindingsJson}.
nlohmann::ordered_json RunSummaryJson(const Run& run, const VirtualMachine& machine,
                                      std::span<const ChangedByte> changed, std::span<const CheckFinding> findings);

}  // namespace mirvo
