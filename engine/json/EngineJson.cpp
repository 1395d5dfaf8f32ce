#include "EngineJson.h"

#include <nlohmann/json.hpp>

#include "Diagnostic.h"
#include "InstructionSet.h"

namespace mirvo {

namespace {

using Json = nlohmann::ordered_json;

// Compact, with bytes that are not UTF-8 (a token may hold any byte) shown
// as U+FFFD rather than failing.
std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

const char* ShapeName(OperandShape shape) {
  switch (shape) {
    case OperandShape::kDestination:
      return "destination";
    case OperandShape::kSource:
      return "source";
    case OperandShape::kImmediate:
      return "immediate";
    case OperandShape::kNone:
      break;
  }
  return "none";
}

template <std::size_t N>
Json NamedSlots(const std::array<NamedSlot, N>& table) {
  Json list = Json::array();
  for (const NamedSlot& entry : table) list.push_back({{"name", entry.name}, {"slot", entry.slot}});
  return list;
}

}  // namespace

std::string AssemblyJson(const Assembler& assembler, const char* imagePath) {
  Json statements = Json::array();
  for (const StatementRecord& record : assembler.GetStatements()) {
    Json bytes = Json::array();
    for (std::uint8_t i = 0; i < record.length; ++i) bytes.push_back(record.bytes[i]);
    statements.push_back(
        {{"line", record.line}, {"column", record.column}, {"address", record.address}, {"bytes", bytes}});
  }
  Json diagnostics = Json::array();
  for (const Diagnostic& diagnostic : assembler.GetDiagnostics()) {
    Json fixes = Json::array();
    for (const Fix& fix : diagnostic.fixes) {
      fixes.push_back({{"line", fix.line},
                       {"column", fix.column},
                       {"length", fix.length},
                       {"text", fix.text},
                       {"title", fix.title}});
    }
    diagnostics.push_back({{"severity", SeverityName(SeverityOf(diagnostic.kind))},
                           {"code", DiagnosticCode(diagnostic.kind)},
                           {"line", diagnostic.line},
                           {"column", diagnostic.column},
                           {"length", diagnostic.length},
                           {"message", DescribeDiagnostic(diagnostic)},
                           {"fixes", fixes}});
  }
  Json report;
  report["image"] = imagePath != nullptr ? Json(imagePath) : Json(nullptr);
  report["length"] = assembler.GetLength();
  report["statements"] = statements;
  report["diagnostics"] = diagnostics;
  return Dump(report);
}

std::string VocabularyJson() {
  Json outcomes = Json::array();
  for (std::size_t value = 0; value < kOutcomeNames.size(); ++value) {
    outcomes.push_back({{"name", kOutcomeNames[value]}, {"final", IsFinal(static_cast<RunOutcome>(value))}});
  }
  Json operands = Json::array();
  for (std::size_t code = 0; code < kRegisterNames.size(); ++code) {
    const char* const name = kRegisterNames[code];
    operands.push_back({{"name", name}, {"code", code}, {"ignoresCase", NameIgnoresCase(name)}});
  }
  Json instructions = Json::array();
  for (const InstructionRow& row : kInstructionTable) {
    Json shapes = Json::array();
    for (std::uint8_t i = 0; i < row.operandCount; ++i) shapes.push_back(ShapeName(row.operands[i]));
    instructions.push_back({{"mnemonic", row.mnemonic},
                            {"ignoresCase", NameIgnoresCase(row.mnemonic)},
                            {"syntax", row.syntax},
                            {"encoding", row.encoding},
                            {"summary", row.summary},
                            {"length", row.length},
                            {"operands", shapes}});
  }
  Json bytes = Json::array();
  for (unsigned value = 0; value < 256; ++value) bytes.push_back(ByteNotation(static_cast<std::uint8_t>(value)).text);
  Json vocabulary;
  vocabulary["outcomes"] = outcomes;
  vocabulary["registers"] = NamedSlots(kRegisterReportOrder);
  vocabulary["flags"] = NamedSlots(kFlagReportOrder);
  vocabulary["operands"] = operands;
  vocabulary["instructions"] = instructions;
  vocabulary["bytes"] = bytes;
  vocabulary["memorySize"] = kMemorySize;
  return Dump(vocabulary);
}

std::string StepRecordJson(const StepRecord& record) {
  const std::size_t length = record.instruction.length;
  char text[64];
  Disassemble(record.bytes, length, text, sizeof text);
  Json bytes = Json::array();
  for (std::size_t i = 0; i < length; ++i) bytes.push_back(record.bytes[i]);
  Json changes = Json::object();
  for (const NamedSlot& reg : kRegisterReportOrder) {
    const unsigned before = record.registersBefore[reg.slot];
    const unsigned after = record.registersAfter[reg.slot];
    if (before != after) changes[reg.name] = {{"before", before}, {"after", after}};
  }
  for (const NamedSlot& flag : kFlagReportOrder) {
    const unsigned before = record.flagsBefore[flag.slot] & 1U;
    const unsigned after = record.flagsAfter[flag.slot] & 1U;
    if (before != after) changes[flag.name] = {{"before", before}, {"after", after}};
  }
  if (record.wroteMemory) {
    changes["memory"] = {{"address", record.memoryAddress}, {"before", record.memoryBefore}, {"after", record.memoryAfter}};
  }
  Json json;
  json["step"] = record.step;
  json["pc"] = record.address;
  json["bytes"] = bytes;
  json["text"] = text;
  json["changes"] = changes;
  return Dump(json);
}

}  // namespace mirvo
