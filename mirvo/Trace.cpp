#include "Trace.h"

#include <algorithm>
#include <cstring>

#include "EngineJson.h"
#include "Explain.h"
#include "Notation.h"
#include "SourceText.h"

namespace mirvo::cli {

namespace {

char* Append(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

// A text field padded with spaces to width characters.
char* AppendPadded(char* out, const char* text, std::size_t width) {
  char* const start = out;
  out = Append(out, text);
  while (static_cast<std::size_t>(out - start) < width) *out++ = ' ';
  return out;
}

}  // namespace

TraceWriter::TraceWriter(Output& traceOutput, bool asJson, bool withExplanations)
    : output(traceOutput), json(asJson), explain(withExplanations), buffer(new char[kBufferSize]) {}

char* TraceWriter::AppendExplanation(char* out, const StepRecord& record) {
  const std::string sentence = ExplainStep(record);
  // Within the room of a line, whatever the sentence.
  out = Append(out, "          ");
  const std::size_t n = std::min(sentence.size(), kExplanationRoom);
  std::memcpy(out, sentence.data(), n);
  out += n;
  *out++ = '\n';
  return out;
}

void TraceWriter::Observe(void* context, const StepRecord& record) {
  auto& writer = *static_cast<TraceWriter*>(context);
  if (writer.used > kBufferSize - kLineRoom) writer.Flush();
  if (writer.json) {
    writer.AppendJsonLine(record);
  } else {
    writer.AppendLine(record);
  }
}

void TraceWriter::WriteLimitNote(std::uint64_t limit) {
  const std::string lines = std::to_string(limit) + (limit == 1 ? " line" : " lines");
  Flush();
  if (json) {
    output.Write("{\"note\":\"the trace stops here, at its limit of " + lines +
                 "; the run goes on\",\"traceLimit\":" + std::to_string(limit) + "}\n");
  } else {
    output.Write("--- the trace stops here, at its limit of " + lines + " (--trace-limit N); the run goes on\n");
  }
}

std::string TraceWriter::FormatLine(const StepRecord& record) {
  if (used > kBufferSize - kLineRoom) Flush();
  const std::size_t start = used;
  if (json) {
    AppendJsonLine(record);
  } else {
    AppendLine(record);
  }
  std::string line(buffer.get() + start, used - start);
  used = start;
  return line;
}

void TraceWriter::Flush() {
  output.Write(buffer.get(), used);
  used = 0;
}

const TraceWriter::Text& TraceWriter::InstructionText(const StepRecord& record) {
  const std::uint8_t opcode = record.bytes[0];
  if (record.instruction.length < 2) {
    if (!opcodeKnown[opcode]) {
      Disassemble(record.bytes, 1, opcodeTexts[opcode].data(), kTextSize);
      opcodeKnown[opcode] = true;
    }
    return opcodeTexts[opcode];
  }
  if (!immediateTexts) {
    immediateTexts.reset(new Text[256 * 256]);
    immediateKnown.reset(new bool[256 * 256]());
  }
  const std::size_t index = std::size_t{opcode} * 256 + record.bytes[1];
  if (!immediateKnown[index]) {
    Disassemble(record.bytes, 2, immediateTexts[index].data(), kTextSize);
    immediateKnown[index] = true;
  }
  return immediateTexts[index];
}

// "      12  0004  36 C9  MVI Mem, 0C9h   [0009h] 40h->C9h"
void TraceWriter::AppendLine(const StepRecord& record) {
  char* const lineStart = buffer.get() + used;
  char* out = lineStart;
  char step[24];
  char* const stepEnd = AppendDecimal(step, record.step);
  for (auto width = stepEnd - step; width < 8; ++width) *out++ = ' ';
  std::memcpy(out, step, static_cast<std::size_t>(stepEnd - step));
  out += stepEnd - step;
  *out++ = ' ';
  *out++ = ' ';
  char* const place = out;
  out = AppendPlace(out, record.address, record.bytes, record.instruction.length);
  while (out < place + kPlaceWidth) *out++ = ' ';
  *out++ = ' ';
  *out++ = ' ';
  out = AppendPadded(out, InstructionText(record).data(), 14);
  const char* separator = "  ";
  if (record.readMemory) {
    // The byte read, so that a learner sees what was compared or added.
    out = Append(out, separator);
    *out++ = '[';
    out = AppendWord(out, record.memoryAddress);
    out = Append(out, "] = ");
    out = AppendByte(out, record.memoryBefore);
    separator = ", ";
  }
  out = AppendChanges(out, record, separator, "->");
  // Padding of the instruction column is not kept at the end of a line.
  while (out > lineStart && out[-1] == ' ') --out;
  *out++ = '\n';
  if (explain) out = AppendExplanation(out, record);
  used += static_cast<std::size_t>(out - lineStart);
}

void TraceWriter::AppendJsonLine(const StepRecord& record) {
  char* const lineStart = buffer.get() + used;
  const std::string explanation = explain ? ExplainStep(record) : std::string();
  char* out = AppendStepRecordJson(lineStart, record, InstructionText(record).data(), explain ? &explanation : nullptr);
  *out++ = '\n';
  used += static_cast<std::size_t>(out - lineStart);
}

}  // namespace mirvo::cli
