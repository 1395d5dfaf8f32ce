// Step records made of the input's bytes through the trace writer, as text
// and as JSON. Invariants: each record gives one line that ends with its one
// line end and fits the room the writer keeps for it; a text line is
// printable and starts with its step number; a JSON line is one object with
// the record's step, program counter and bytes.

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "FuzzCheck.h"
#include "InstructionSet.h"
#include "Output.h"
#include "Trace.h"

namespace {

// Fills the record from data, as far as it goes; the rest stays zero. The
// instruction is the one its first byte decodes to, as in a run.
mirvo::StepRecord RecordOf(const std::uint8_t* data, std::size_t size) {
  mirvo::StepRecord record{};
  std::uint8_t raw[8 + 2 + 2 + 2 + 8 * 4 + 1 + 2 + 1 + 1] = {};
  std::memcpy(raw, data, std::min(size, sizeof(raw)));
  const std::uint8_t* at = raw;
  std::memcpy(&record.step, at, 8);
  at += 8;
  record.address = static_cast<std::uint16_t>(at[0] | at[1] << 8);
  at += 2;
  record.nextAddress = static_cast<std::uint16_t>(at[0] | at[1] << 8);
  at += 2;
  record.bytes[0] = *at++;
  record.bytes[1] = *at++;
  record.instruction = mirvo::kDecodeTable[record.bytes[0]];
  for (auto* bank : {&record.registersBefore, &record.registersAfter, &record.flagsBefore, &record.flagsAfter}) {
    std::memcpy(bank->data(), at, 8);
    at += 8;
  }
  record.wroteMemory = (*at++ & 1U) != 0;
  record.memoryAddress = static_cast<std::uint16_t>(at[0] | at[1] << 8);
  at += 2;
  record.memoryBefore = *at++;
  record.memoryAfter = *at++;
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo::cli;
  const mirvo::StepRecord record = RecordOf(data, size);
  mirvo::cli::Output sink;
  if (sink.OpenFile("/dev/null", mirvo::CommandFiles{}) != 0) return 0;
  for (const bool json : {false, true}) {
    TraceWriter trace(sink, json);
    const std::string line = trace.FormatLine(record);
    FUZZ_CHECK(!line.empty() && line.size() < TraceWriter::kLineRoom);
    FUZZ_CHECK(line.find('\n') == line.size() - 1);
    if (json) {
      const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
      FUZZ_CHECK(object.is_object());
      FUZZ_CHECK(object["step"] == record.step && object["pc"] == record.address);
      FUZZ_CHECK(object["bytes"][0] == record.bytes[0]);
    } else {
      for (std::size_t i = 0; i + 1 < line.size(); ++i) FUZZ_CHECK(line[i] >= 0x20 && line[i] < 0x7F);
      FUZZ_CHECK(line.find(std::to_string(record.step)) < 8 + 20);
    }
    // The same record a few times over, then the note that closes a trace
    // cut at its limit.
    for (int i = 0; i < 16; ++i) TraceWriter::Observe(&trace, record);
    trace.WriteLimitNote(16);
    trace.Flush();
  }
  FUZZ_CHECK(sink.Commit() == 0);
  return 0;
}
