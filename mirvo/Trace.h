#pragma once
// One line per executed step, as text or as JSON, formatted by hand into a
// large buffer: a trace of millions of steps is written at the speed of the
// disk, not of a formatter.

#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "EngineJson.h"
#include "Output.h"
#include "RunLoop.h"

namespace mirvo::cli {

class TraceWriter {
 public:
  // explain: a sentence under each line (or an "explain" key in JSON).
  TraceWriter(Output& output, bool json, bool explain = false);
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // The run's observer; context is the TraceWriter.
  static void Observe(void* context, const StepRecord& record);
  // Closes a trace cut at limit lines with a line that says so.
  void WriteLimitNote(std::uint64_t limit);
  // Writes what is still buffered.
  void Flush();
  // The line Observe writes for record, for checks of the format.
  std::string FormatLine(const StepRecord& record);

  // More than the longest line (a JSON line with every register and flag,
  // and an explanation).
  static constexpr std::size_t kLineRoom = 2048;
  static_assert(kLineRoom > kStepJsonRoom && kLineRoom > 256 + kExplanationRoom);

 private:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
  static constexpr std::size_t kTextSize = 24;
  using Text = std::array<char, kTextSize>;

  void AppendLine(const StepRecord& record);
  void AppendJsonLine(const StepRecord& record);
  // The instruction's source text, from the shared disassembler, formatted
  // once per opcode (and per immediate for MVI).
  const Text& InstructionText(const StepRecord& record);

  // The explanation of the step, under the line or as a JSON member.
  char* AppendExplanation(char* out, const StepRecord& record);

  Output& output;
  bool json;
  bool explain;
  std::unique_ptr<char[]> buffer;
  std::size_t used = 0;
  std::array<Text, 256> opcodeTexts{};
  std::array<bool, 256> opcodeKnown{};
  std::unique_ptr<Text[]> immediateTexts;  // [opcode * 256 + immediate], MVI only
  std::unique_ptr<bool[]> immediateKnown;
};

}  // namespace mirvo::cli
