#include "Playground.h"

#include <cstdio>

#include "Diagnostic.h"
#include "ProgramImage.h"
#include "StateMap.h"

namespace mirvo {

namespace {

// Appends text as the body of a JSON string: quotes, backslashes and control
// bytes escaped, every other byte as it is (the page decodes UTF-8).
void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendJsonNumber(std::string& out, const char* name, long long value) {
  char field[48];
  std::snprintf(field, sizeof field, "\"%s\":%lld", name, value);
  out += field;
}

}  // namespace

Playground::Playground()
    : assembler(std::make_unique<Assembler>()),
      machine(std::make_unique<VirtualMachine>()),
      run(std::make_unique<Run>(*machine)) {}

int Playground::Assemble(const char* bytes, std::size_t size) {
  // The assembler reads the text during Assemble only, but keep our own copy
  // so the caller's buffer can go at once.
  source.assign(bytes, size);
  assembler = std::make_unique<Assembler>();
  assembler->Open(source.data(), source.size());
  AssemblyOptions options;
  options.keepGoing = true;
  options.recordStatements = true;
  options.reportWarnings = true;
  const int status = assembler->Assemble(options);

  diagnosticsJson = "[";
  bool first = true;
  for (const Diagnostic& diagnostic : assembler->GetDiagnostics()) {
    if (!first) diagnosticsJson += ',';
    first = false;
    diagnosticsJson += '{';
    AppendJsonNumber(diagnosticsJson, "line", diagnostic.line);
    diagnosticsJson += ',';
    AppendJsonNumber(diagnosticsJson, "column", diagnostic.column);
    diagnosticsJson += ',';
    AppendJsonNumber(diagnosticsJson, "length", diagnostic.length);
    diagnosticsJson += ",\"severity\":";
    diagnosticsJson += SeverityOf(diagnostic.kind) == Severity::kError ? "\"error\"" : "\"warning\"";
    diagnosticsJson += ",\"message\":";
    AppendJsonString(diagnosticsJson, DescribeDiagnostic(diagnostic));
    diagnosticsJson += '}';
  }
  diagnosticsJson += ']';

  statementTable.clear();
  for (const StatementRecord& record : assembler->GetStatements()) {
    statementTable.push_back(record.line);
    statementTable.push_back(record.address);
    statementTable.push_back(record.length);
    statementTable.push_back(record.bytes[0]);
    statementTable.push_back(record.length > 1 ? record.bytes[1] : 0);
  }
  return status;
}

int Playground::Load(const std::uint8_t* bytes, std::size_t size) {
  auto fresh = std::make_unique<VirtualMachine>();
  const ImageStatus status = LoadImage(*fresh, bytes, size);
  if (status != ImageStatus::kLoaded) return static_cast<int>(status);
  image.assign(bytes, bytes + size);
  run.reset();
  machine = std::move(fresh);
  run = std::make_unique<Run>(*machine);
  return 0;
}

void Playground::Restart() {
  run.reset();
  machine = std::make_unique<VirtualMachine>();
  LoadImage(*machine, image.data(), image.size());
  run = std::make_unique<Run>(*machine);
}

int Playground::Resume(std::uint64_t budget, bool breakpoints, bool skipFirst) {
  if (!breakpoints || breakpointAt.none()) return static_cast<int>(run->Resume(budget));
  bool mayPass = skipFirst;
  for (std::uint64_t done = 0; done < budget; ++done) {
    if (run->Outcome() == RunOutcome::kRunning && !mayPass && breakpointAt[machine->GetProgramCounter()]) {
      return kStoppedAtBreakpoint;
    }
    mayPass = false;
    const RunOutcome outcome = run->Resume(1);
    if (outcome != RunOutcome::kRunning) return static_cast<int>(outcome);
  }
  return static_cast<int>(run->Outcome());
}

const std::string& Playground::StateMap(const char* imagePath) {
  text = StateMapText(*machine, imagePath);
  return text;
}

const std::string& Playground::DisassembleAt(std::uint16_t address) {
  std::uint8_t bytes[2] = {machine->MemoryAt(address), machine->MemoryAt(static_cast<std::uint16_t>(address + 1))};
  char line[64];
  Disassemble(bytes, sizeof bytes, line, sizeof line);
  text = line;
  return text;
}

const std::string& Playground::OutcomeText() {
  text = DescribeOutcome(CurrentRun(), *machine);
  return text;
}

}  // namespace mirvo
