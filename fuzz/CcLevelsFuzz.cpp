// Random programs of the compiler's subset, optimised and at -O0: the
// input's first four bytes seed the program generator of the differential
// test, the next eight are the program's inputs. Both compilations must
// compile, run to their RET, and leave the same bytes where the program
// writes its results, so that no optimisation changes what a program does;
// the differential test holds the optimised code to the host's C compiler.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "CcProgramGenerator.h"
#include "Compiler.h"
#include "FuzzCheck.h"
#include "ProgramImage.h"
#include "RunLoop.h"
#include "VirtualMachine.h"

namespace {

constexpr int kResultBytes = 0x20;
using Results = std::array<std::uint8_t, kResultBytes>;

Results Run(const std::string& source, bool optimise, const std::uint8_t* inputs) {
  const mirvo::cc::CompileResult compiled = mirvo::cc::Compile(source, mirvo::cc::CompileOptions{optimise});
  FUZZ_CHECK(compiled.ok);
  auto machine = std::make_unique<mirvo::VirtualMachine>();
  FUZZ_CHECK(mirvo::LoadImage(*machine, compiled.image.data(), compiled.image.size()) == mirvo::ImageStatus::kLoaded);
  for (int k = 0; k < mirvo::test::kInputs; ++k) {
    machine->WriteMemory(static_cast<std::uint16_t>(mirvo::test::kInputBase + k), inputs[k]);
  }
  FUZZ_CHECK(mirvo::RunToEnd(*machine, 1'000'000) == mirvo::RunOutcome::kHalted);
  Results results{};
  for (int k = 0; k < kResultBytes; ++k) {
    results[static_cast<std::size_t>(k)] = machine->MemoryAt(static_cast<std::uint16_t>(mirvo::test::kOutputBase + k));
  }
  return results;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, 4 + mirvo::test::kInputs> bytes{};
  std::memcpy(bytes.data(), data, size < bytes.size() ? size : bytes.size());
  std::uint32_t seed = 0;
  for (int i = 0; i < 4; ++i) seed = seed << 8 | bytes[static_cast<std::size_t>(i)];
  mirvo::test::CcProgramGenerator generator(seed, mirvo::test::CcSubset{});
  const std::string source = generator.Program("f");
  FUZZ_CHECK(Run(source, true, bytes.data() + 4) == Run(source, false, bytes.data() + 4));
  return 0;
}
