// C sources through the compiler. Invariants: a compile ends (no loop
// unrolls without bound, no nesting is followed into the stack); a program
// that compiles has an image the engine's assembler made, that runs to its
// RET within its own length in steps (the machine has no jump), and a
// source map inside that image; one that does not says where and why.

#include <cstring>
#include <memory>
#include <string_view>

#include "Compiler.h"
#include "FuzzCheck.h"
#include "VirtualMachine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  for (bool optimise : {true, false}) {
    const mirvo::cc::CompileResult result = mirvo::cc::Compile(source, mirvo::cc::CompileOptions{optimise});
    if (!result.ok) {
      FUZZ_CHECK(!result.diagnostics.empty());
      for (const mirvo::Diagnostic& d : result.diagnostics) FUZZ_CHECK(!mirvo::DescribeDiagnostic(d).empty());
      continue;
    }
    FUZZ_CHECK(!result.image.empty() && result.image.size() <= mirvo::kMemorySize);
    for (const mirvo::cc::StatementSpan& span : result.map) {
      FUZZ_CHECK(span.firstAddress <= span.endAddress && span.endAddress <= result.image.size());
    }
    auto machine = std::make_unique<mirvo::VirtualMachine>();
    if (!result.image.empty()) std::memcpy(&machine->MemoryAt(0), result.image.data(), result.image.size());
    machine->SetProgramCounter(0);
    machine->RunWithoutWrap(static_cast<std::uint32_t>(result.image.size()));
    FUZZ_CHECK(machine->GetProgramCounter() < result.image.size());
    FUZZ_CHECK(result.image[machine->GetProgramCounter()] == 0xC9);
  }
  return 0;
}
