#include "Compiler.h"

#include <memory>

#include "Assembler.h"
#include "CompilerState.h"
#include "Notation.h"

namespace mirvo::cc {

namespace {

constexpr std::size_t kMaxSource = 1 << 20;

std::string AddressText(unsigned address) {
  char text[12];
  *AppendNumber(text, address, 4) = '\0';
  return text;
}

// The listing's head: where everything went.
std::string Heading(const std::vector<Placement>& placed, int& lines) {
  std::string text = "; compiled from C by mirvo cc\n";
  lines = 1;
  for (const Placement& p : placed) {
    text += "; " + p.name + " at " + AddressText(p.address) + "\n";
    ++lines;
  }
  return text;
}

// Each statement's addresses, from where the assembler put its lines.
void MapAddresses(const Parser& parser, const std::vector<StatementRecord>& records, int offset, std::uint16_t length,
                  std::vector<StatementSpan>& map) {
  std::size_t r = 0;
  for (std::size_t i = 0; i < parser.spans.size() && i < parser.spanLines.size(); ++i) {
    StatementSpan span = parser.spans[i];
    const int first = parser.spanLines[i].first + offset, last = parser.spanLines[i].second + offset;
    while (r < records.size() && records[r].line < first) ++r;
    span.firstAddress = r < records.size() ? records[r].address : length;
    span.endAddress = span.firstAddress;
    for (; r < records.size() && records[r].line <= last; ++r) {
      span.assemblyLines.push_back(records[r].line);
      span.endAddress = static_cast<std::uint16_t>(records[r].address + records[r].length);
    }
    map.push_back(std::move(span));
  }
}

// The program's code growing over an address that the program names.
void CheckGrowth(const Parser& parser, std::uint32_t length, std::vector<Diagnostic>& diagnostics) {
  for (const Parser::Named& named : parser.named) {
    if (static_cast<std::uint32_t>(named.low) >= length) continue;
    const Token& at = parser.tokens[static_cast<std::size_t>(named.token)];
    Diagnostic d{};
    d.kind = DiagnosticKind::kCCodeOverlap;
    d.line = at.line;
    d.column = at.column;
    d.length = static_cast<std::int32_t>(at.text.size());
    d.operation = Operation::kUndefined;
    const std::string address = AddressText(static_cast<unsigned>(named.low));
    address.copy(d.token, address.size());
    d.token[address.size()] = '\0';
    d.detail = std::to_string(length);
    diagnostics.push_back(std::move(d));
    return;
  }
}

}  // namespace

CompileResult Compile(std::string_view source, const CompileOptions& options) {
  CompileResult result;
  if (source.size() > kMaxSource) source = source.substr(0, kMaxSource);
  // The first reading finds what memory the program names and the tables
  // it uses; the second builds those first and places the variables where
  // the program names no memory.
  Placer first;
  auto probe = std::make_unique<Parser>(source, options, first);
  probe->Program();
  if (!probe->diagnostics.empty()) {
    result.diagnostics = std::move(probe->diagnostics);
    return result;
  }
  Placer placer;
  placer.touchedBytes = first.touchedBytes;
  placer.touchedPages = first.touchedPages;
  std::vector<Parser::TableKey> tables = std::move(probe->wanted);
  probe.reset();
  auto parser = std::make_unique<Parser>(source, options, placer);
  parser->wanted = std::move(tables);
  parser->Program();
  result.diagnostics = std::move(parser->diagnostics);
  int headingLines = 0;
  result.assembly = Heading(parser->placed, headingLines) + parser->out.text;
  result.placed = parser->placed;
  if (!result.diagnostics.empty()) return result;
  auto assembler = std::make_unique<Assembler>();
  assembler->Open(result.assembly.data(), result.assembly.size());
  AssemblyOptions assembly;
  assembly.recordStatements = true;
  if (assembler->Assemble(assembly) != 0) {
    Diagnostic d{};
    d.kind = DiagnosticKind::kProgramTooLarge;
    d.operation = Operation::kUndefined;
    result.diagnostics.push_back(d);
    return result;
  }
  const std::uint32_t length = assembler->GetLength();
  CheckGrowth(*parser, length, result.diagnostics);
  if (placer.lowest < length) {
    Diagnostic d{};
    d.kind = DiagnosticKind::kProgramTooLarge;
    d.operation = Operation::kUndefined;
    result.diagnostics.push_back(d);
  }
  const auto image = assembler->GetImage();
  result.image.assign(image.begin(), image.begin() + length);
  MapAddresses(*parser, assembler->GetStatements(), headingLines, static_cast<std::uint16_t>(length), result.map);
  result.ok = result.diagnostics.empty();
  return result;
}

}  // namespace mirvo::cc
