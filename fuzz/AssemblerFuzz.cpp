// Source text through the source reader, the tokenizer and the encoder.
// Invariants: statements hold 0 to 3 non-empty tokens of at most 255
// characters on increasing lines; a failing statement emits nothing; each
// success emits exactly one instruction; the image decodes back, with the
// shared instruction table, into instructions whose lengths add up to it.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Assembler.h"
#include "FuzzCheck.h"
#include "InstructionSet.h"
#include "SourceReader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The encoder's messages would only slow the fuzzer down.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo;
  std::string source(reinterpret_cast<const char*>(data), size);
  source.push_back('\0');  // fmemopen wants a buffer of at least one byte
  std::FILE* stream = ::fmemopen(source.data(), size == 0 ? 1 : size, "r");
  if (stream == nullptr) return 0;
  if (size == 0) std::fgetc(stream);  // an empty source: step over the one byte
  SourceReader reader(stream);
  auto assembler = std::make_unique<Assembler>();
  Statement statement;
  std::int32_t lastLine = 0;
  for (;;) {
    reader.ReadStatement(&statement);
    FUZZ_CHECK(statement.count >= 0 && statement.count <= 3);
    for (std::int32_t i = 0; i < statement.count; ++i) {
      const std::size_t length = std::strlen(statement.tokens[i]);
      FUZZ_CHECK(length >= 1 && length <= 255);
    }
    if (statement.count > 0) {
      FUZZ_CHECK(reader.GetLineNumber() > lastLine);
      lastLine = reader.GetLineNumber();
    }
    const std::uint32_t before = assembler->GetLength();
    const int result = assembler->EncodeStatement(statement);
    const std::uint32_t after = assembler->GetLength();
    FUZZ_CHECK(after <= kMemorySize);
    if (result != 0 || statement.count == 0) {
      FUZZ_CHECK(after == before);
      break;
    }
    const Instruction in = kDecodeTable[assembler->GetImage()[before]];
    FUZZ_CHECK(in.operation != Operation::kUndefined);
    FUZZ_CHECK(after - before == in.length);
  }
  std::uint32_t at = 0;
  while (at < assembler->GetLength()) {
    const Instruction in = kDecodeTable[assembler->GetImage()[at]];
    FUZZ_CHECK(in.operation != Operation::kUndefined);
    at += in.length;
  }
  FUZZ_CHECK(at == assembler->GetLength());
  return 0;
}
