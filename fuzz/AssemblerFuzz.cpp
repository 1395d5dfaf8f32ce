// Source text through the source reader, the tokenizer and the encoder.
// Invariants: statements hold 1 to 3 non-empty tokens of at most 255
// characters on increasing lines, each a number exactly when it matches the
// number pattern. Then the whole assembler in both modes:
// every diagnostic of the collect-everything mode lies inside the input, and
// each fix inside its line; each statement that encoded is one instruction
// that decodes back, with the shared instruction table, at the address after
// the one before, and together they are the image; a source that assembles
// gives the same bytes whether it stops at the first error or not; laying
// the source out keeps its bytes and its diagnostics, and laying it out
// again changes nothing.

#include <algorithm>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Format.h"
#include "FuzzCheck.h"
#include "InstructionSet.h"
#include "SourceReader.h"
#include "TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo;
  static const std::regex kNumber(kNumberPattern);
  const auto* const text = reinterpret_cast<const char*>(data);
  SourceReader reader(text, size);
  Statement statement;
  std::int32_t lastLine = 0;
  for (reader.ReadStatement(&statement); statement.count > 0; reader.ReadStatement(&statement)) {
    FUZZ_CHECK(statement.count <= 3);
    for (std::int32_t i = 0; i < statement.count; ++i) {
      const std::size_t length = std::strlen(statement.tokens[i]);
      FUZZ_CHECK(length >= 1 && length <= 255);
      // The number pattern front ends class words by is the encoder's.
      std::uint8_t value = 0;
      FUZZ_CHECK((ReadImmediate(statement.tokens[i], value) != ImmediateStatus::kNotANumber) ==
                 std::regex_match(statement.tokens[i], kNumber));
    }
    FUZZ_CHECK(reader.GetLineNumber() > lastLine);
    lastLine = reader.GetLineNumber();
  }
  FUZZ_CHECK(statement.count == 0);

  // Where each physical line starts, to place the diagnostics.
  std::vector<std::size_t> lineStarts{0};
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') lineStarts.push_back(i + 1);
  }
  lineStarts.push_back(size + 1);
  auto stopping = std::make_unique<Assembler>();
  stopping->Open(text, size);
  const int stopped = stopping->Assemble();
  auto collecting = std::make_unique<Assembler>();
  collecting->Open(text, size);
  const int collected = collecting->Assemble(AssemblyOptions::Full());
  // The learner's tools read a text's mark, which the console assembler
  // takes as bytes of its first statement; otherwise both agree.
  if (ReadTextStart(std::string_view(text, size)).mark == TextMark::kNone) FUZZ_CHECK(stopped == collected);
  FUZZ_CHECK((collected == 0) == (collecting->GetErrorCount() == 0));
  for (const Diagnostic& d : collecting->GetDiagnostics()) {
    // A text in UTF-16 is refused whole, at line 1 and no column.
    if (d.kind == DiagnosticKind::kUtf16Text) {
      FUZZ_CHECK(d.line == 1 && d.column == 0 && collecting->GetDiagnostics().size() == 1);
      continue;
    }
    FUZZ_CHECK(d.line >= 1 && static_cast<std::size_t>(d.line) < lineStarts.size());
    const std::size_t lineLength =
        lineStarts[static_cast<std::size_t>(d.line)] - lineStarts[static_cast<std::size_t>(d.line) - 1] - 1;
    FUZZ_CHECK(d.column >= 1 && d.length >= 1);
    FUZZ_CHECK(static_cast<std::size_t>(d.column) + static_cast<std::size_t>(d.length) - 1 <= lineLength);
    // Each fix lies inside its line and applies by itself.
    for (const Fix& fix : d.fixes) {
      FUZZ_CHECK(fix.line == d.line && fix.column >= 1 && fix.length >= 0);
      FUZZ_CHECK(static_cast<std::size_t>(fix.column) + static_cast<std::size_t>(fix.length) - 1 <= lineLength);
      std::size_t applied = 0;
      ApplyFixes(std::string(text, size), {fix}, &applied);
      FUZZ_CHECK(applied == 1);
    }
  }
  // Laying the source out changes neither its bytes nor its diagnostics.
  const std::string formatted = FormatSource(std::string_view(text, size));
  FUZZ_CHECK(FormatSource(formatted) == formatted);
  auto relaid = std::make_unique<Assembler>();
  relaid->Open(formatted.data(), formatted.size());
  FUZZ_CHECK(relaid->Assemble(AssemblyOptions::Full()) == collected);
  FUZZ_CHECK(relaid->GetLength() == collecting->GetLength());
  // An empty image's span has no data pointer: compared as ranges, not by memcmp.
  const auto relaidImage = relaid->GetImage().first(relaid->GetLength());
  const auto collectedImage = collecting->GetImage().first(relaid->GetLength());
  FUZZ_CHECK(std::equal(relaidImage.begin(), relaidImage.end(), collectedImage.begin()));
  FUZZ_CHECK(relaid->GetDiagnostics().size() == collecting->GetDiagnostics().size());
  for (std::size_t i = 0; i < relaid->GetDiagnostics().size(); ++i) {
    FUZZ_CHECK(relaid->GetDiagnostics()[i].kind == collecting->GetDiagnostics()[i].kind);
  }
  // Each statement that encoded is one instruction, right after the one
  // before it; together they are the image.
  std::uint32_t at = 0;
  for (const StatementRecord& record : collecting->GetStatements()) {
    FUZZ_CHECK(record.address == at);
    const Instruction in = kDecodeTable[collecting->GetImage()[at]];
    FUZZ_CHECK(in.operation != Operation::kUndefined);
    FUZZ_CHECK(record.length == in.length);
    at += in.length;
  }
  FUZZ_CHECK(at == collecting->GetLength());
  if (stopped == 0) {
    FUZZ_CHECK(stopping->GetLength() == collecting->GetLength());
    const auto stoppedImage = stopping->GetImage().first(stopping->GetLength());
    FUZZ_CHECK(collecting->GetImage().size() >= stoppedImage.size());
    FUZZ_CHECK(std::equal(stoppedImage.begin(), stoppedImage.end(), collecting->GetImage().begin()));
  }
  return 0;
}
