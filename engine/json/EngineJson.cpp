#include "EngineJson.h"

#include <nlohmann/json.hpp>
#include <string_view>

#include "Diagnostic.h"
#include "Explain.h"
#include "InstructionSet.h"

namespace mirvo {

namespace {

using Json = nlohmann::ordered_json;

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

Json DiagnosticsJson(std::span<const Diagnostic> list) {
  Json diagnostics = Json::array();
  for (const Diagnostic& diagnostic : list) {
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
  return diagnostics;
}

Json AssemblyJson(const Assembler& assembler, const char* imagePath) {
  Json statements = Json::array();
  for (const StatementRecord& record : assembler.GetStatements()) {
    Json bytes = Json::array();
    for (std::uint8_t i = 0; i < record.length; ++i) bytes.push_back(record.bytes[i]);
    statements.push_back(
        {{"line", record.line}, {"column", record.column}, {"address", record.address}, {"bytes", bytes}});
  }
  Json report;
  report["image"] = imagePath != nullptr ? Json(imagePath) : Json(nullptr);
  report["length"] = assembler.GetLength();
  report["statements"] = statements;
  report["diagnostics"] = DiagnosticsJson(assembler.GetDiagnostics());
  return report;
}

Json CompileJson(const cc::CompileResult& result) {
  Json map = Json::array();
  for (const cc::StatementSpan& span : result.map) {
    map.push_back({{"line", span.line},
                   {"column", span.column},
                   {"end_line", span.endLine},
                   {"end_column", span.endColumn},
                   {"first_address", span.firstAddress},
                   {"end_address", span.endAddress},
                   {"assembly_lines", span.assemblyLines}});
  }
  Json placed = Json::object();
  for (const cc::Placement& placement : result.placed) placed[placement.name] = placement.address;
  Json report;
  report["assembly"] = result.assembly;
  report["image"] = result.image;
  report["map"] = map;
  report["placed"] = placed;
  report["diagnostics"] = DiagnosticsJson(result.diagnostics);
  return report;
}

Json VocabularyJson() {
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
  vocabulary["addressNotation"] = {{"digits", kWordDigits}, {"suffix", std::string(1, kNumberSuffix)}};
  vocabulary["numberPattern"] = kNumberPattern;
  vocabulary["memorySize"] = kMemorySize;
  vocabulary["shownDiagnostics"] = kShownDiagnostics;
  return vocabulary;
}

std::string StepRecordJson(const StepRecord& record) {
  char text[64];
  Disassemble(record.bytes, record.instruction.length, text, sizeof text);
  char json[kStepJsonRoom];
  const std::string explanation = ExplainStep(record);
  return std::string(json, AppendStepRecordJson(json, record, text, &explanation));
}

namespace {

char* Append(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

// text as the inside of a JSON string, in at most room characters.
char* AppendJsonText(char* out, std::string_view text, std::size_t room) {
  char* const end = out + room;
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20) {
      if (end - out < 6) break;
      out = Append(out, "\\u00");
      out = AppendHex(out, byte, 2);
    } else if (ch == '"' || ch == '\\') {
      if (end - out < 2) break;
      *out++ = '\\';
      *out++ = ch;
    } else {
      if (end - out < 1) break;
      *out++ = ch;
    }
  }
  return out;
}

}  // namespace

// {"step":12,"pc":4,"bytes":[54,201],"text":"MVI Mem, 0C9h","changes":{"memory":{...}},"explain":"..."}
char* AppendStepRecordJson(char* out, const StepRecord& record, const char* text, const std::string* explanation) {
  out = Append(out, "{\"step\":");
  out = AppendDecimal(out, record.step);
  out = Append(out, ",\"pc\":");
  out = AppendDecimal(out, record.address);
  out = Append(out, ",\"bytes\":[");
  for (std::size_t i = 0; i < record.instruction.length; ++i) {
    if (i > 0) *out++ = ',';
    out = AppendDecimal(out, record.bytes[i]);
  }
  // The instruction's text has nothing JSON would escape.
  out = Append(out, "],\"text\":\"");
  out = Append(out, text);
  *out++ = '"';
  if (record.readMemory) {
    out = Append(out, ",\"read\":{\"address\":");
    out = AppendDecimal(out, record.memoryAddress);
    out = Append(out, ",\"value\":");
    out = AppendDecimal(out, record.memoryBefore);
    *out++ = '}';
  }
  out = Append(out, ",\"changes\":{");
  const char* separator = "\"";
  ForEachChange(
      record,
      [&](const char* name, unsigned before, unsigned after, bool) {
        out = Append(out, separator);
        out = Append(out, name);
        out = Append(out, "\":{\"before\":");
        out = AppendDecimal(out, before);
        out = Append(out, ",\"after\":");
        out = AppendDecimal(out, after);
        *out++ = '}';
        separator = ",\"";
      },
      [&](std::uint16_t address, std::uint8_t before, std::uint8_t after) {
        out = Append(out, separator);
        out = Append(out, "memory\":{\"address\":");
        out = AppendDecimal(out, address);
        out = Append(out, ",\"before\":");
        out = AppendDecimal(out, before);
        out = Append(out, ",\"after\":");
        out = AppendDecimal(out, after);
        *out++ = '}';
      });
  *out++ = '}';
  if (explanation != nullptr) {
    out = Append(out, ",\"explain\":\"");
    out = AppendJsonText(out, *explanation, kExplanationRoom);
    *out++ = '"';
  }
  *out++ = '}';
  return out;
}

Json CheckFindingsJson(std::span<const CheckFinding> findings) {
  Json list = Json::array();
  for (const CheckFinding& finding : findings) {
    list.push_back({{"id", CheckRowOf(finding.id).name},
                    {"step", finding.step},
                    {"address", finding.address},
                    {"line", finding.line},
                    {"column", finding.column},
                    {"length", finding.length},
                    {"message", finding.message}});
  }
  return list;
}

Json RunSummaryJson(const Run& run, const VirtualMachine& machine, std::span<const ChangedByte> changed,
                    std::span<const CheckFinding> findings) {
  Json registers = Json::object();
  for (const NamedSlot& reg : kRegisterReportOrder) registers[reg.name] = machine.GetRegisters()[reg.slot];
  Json flags = Json::object();
  for (const NamedSlot& flag : kFlagReportOrder) flags[flag.name] = machine.GetFlags()[flag.slot] & 1U;
  Json bytes = Json::array();
  for (const ChangedByte& byte : changed) {
    bytes.push_back({{"address", byte.address}, {"before", byte.before}, {"after", byte.after}});
  }
  return {{"outcome", OutcomeName(run.Outcome())},
          {"steps", run.Steps()},
          {"registers", registers},
          {"flags", flags},
          {"pc", machine.GetProgramCounter()},
          {"sp", machine.GetStackPointer()},
          {"changed", bytes},
          {"checks", CheckFindingsJson(findings)}};
}

}  // namespace mirvo
