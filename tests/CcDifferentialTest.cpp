// The compiler against the host's C compiler: random programs of the subset
// (CcProgramGenerator) are compiled by cc::Compile and run on the machine,
// and built by the host's compiler against include/mirvo.h and run there;
// every byte the programs write must agree.
//
// MIRVO_CC_PROGRAMS=N and MIRVO_CC_SEED=S in the environment run N programs
// from seed S instead of CI's few thousand, for a long search:
//   MIRVO_CC_PROGRAMS=200000 MIRVO_CC_SEED=7 build/debug/bin/mirvo_cc_tests

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CcProgramGenerator.h"
#include "Compiler.h"
#include "ProgramImage.h"
#include "RunLoop.h"
#include "TestSupport.h"
#include "VirtualMachine.h"

namespace mirvo::test {
namespace {

constexpr int kResultBytes = 0x20;  // mem[kOutputBase] .. 1Fh above
using Results = std::array<std::uint8_t, kResultBytes>;
using Inputs = std::array<std::uint8_t, kInputs>;

// The optimised compile and -O0, each run on the machine.
constexpr bool kLevels[] = {true, false};

struct Trial {
  std::string source;
  Inputs inputs{};
  Results machine[2]{};  // as kLevels
};

std::uint64_t FromEnvironment(const char* name, std::uint64_t otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoull(value, nullptr, 10) : otherwise;
}

// The program compiled and run on the machine with its inputs at kInputBase.
testing::AssertionResult RunOnMachine(Trial& trial, std::size_t level) {
  cc::CompileOptions options;
  options.optimise = kLevels[level];
  const cc::CompileResult compiled = cc::Compile(trial.source, options);
  if (!compiled.ok) {
    std::string why = compiled.diagnostics.empty() ? "no diagnostic" : DescribeDiagnostic(compiled.diagnostics[0]);
    return testing::AssertionFailure() << "refused (" << why << "):\n" << trial.source;
  }
  auto held = std::make_unique<VirtualMachine>();
  VirtualMachine& machine = *held;
  if (LoadImage(machine, compiled.image.data(), compiled.image.size()) != ImageStatus::kLoaded) {
    return testing::AssertionFailure() << "image too large:\n" << trial.source;
  }
  for (int k = 0; k < kInputs; ++k) {
    machine.WriteMemory(static_cast<std::uint16_t>(kInputBase + k), trial.inputs[static_cast<std::size_t>(k)]);
  }
  if (RunToEnd(machine, 1'000'000) != RunOutcome::kHalted) {
    return testing::AssertionFailure() << "did not halt:\n" << compiled.assembly << "\n" << trial.source;
  }
  for (int k = 0; k < kResultBytes; ++k) {
    trial.machine[level][static_cast<std::size_t>(k)] = machine.MemoryAt(static_cast<std::uint16_t>(kOutputBase + k));
  }
  return testing::AssertionSuccess();
}

// One file for the host: every program with its main renamed p<i>, and a
// main that runs each from zeroed memory and prints its result bytes.
std::string HostFile(const std::vector<Trial>& trials) {
  std::string text = "#include <mirvo.h>\n#include <string.h>\n#undef main\n";
  for (std::size_t i = 0; i < trials.size(); ++i) {
    text += "#define main p" + std::to_string(i) + "\n" + trials[i].source + "#undef main\n";
  }
  text += "static void (*const programs[])(void) = {";
  for (std::size_t i = 0; i < trials.size(); ++i) text += "p" + std::to_string(i) + ",";
  text += "};\nstatic const unsigned char inputs[][" + std::to_string(kInputs) + "] = {";
  for (const Trial& trial : trials) {
    text += "{";
    for (std::uint8_t byte : trial.inputs) text += std::to_string(byte) + ",";
    text += "},";
  }
  text +=
      "};\nint main(void) {\n  for (unsigned i = 0; i < sizeof programs / sizeof *programs; ++i) {\n"
      "    memset(mem, 0, sizeof mem);\n    memcpy(mem + " +
      std::to_string(kInputBase) +
      ", inputs[i], sizeof inputs[i]);\n"
      "    programs[i]();\n    for (int k = 0; k < " +
      std::to_string(kResultBytes) + "; ++k) printf(\"%u \", mem[" + std::to_string(kOutputBase) +
      " + k]);\n    printf(\"\\n\");\n  }\n}\n";
  return text;
}

// The results of every trial on the host, one line of numbers each.
std::vector<Results> RunOnHost(const std::vector<Trial>& trials) {
  ScratchDir dir;
  WriteFile(dir / "programs.c", HostFile(trials));
  const SplitResult built = RunProgramSplit(
      MIRVO_HOST_CC, {"-std=c11", "-O1", "-w", "-I", MIRVO_INCLUDE_DIR, "programs.c", "-o", "programs"}, dir.Path());
  EXPECT_EQ(built.exitCode, 0) << built.err;
  const SplitResult ran = RunProgramSplit(dir / "programs", {}, dir.Path());
  EXPECT_EQ(ran.exitCode, 0);
  std::vector<Results> results;
  std::istringstream lines(ran.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream numbers(line);
    Results bytes{};
    for (std::uint8_t& byte : bytes) {
      unsigned value = 0;
      numbers >> value;
      byte = static_cast<std::uint8_t>(value);
    }
    results.push_back(bytes);
  }
  return results;
}

std::string Listed(const Results& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) text += std::to_string(byte) + " ";
  return text;
}

TEST(CcDifferentialTest, MachineAgreesWithTheHostCompiler) {
  if (!cc::Compile("void main(void) {}\n").ok) GTEST_SKIP() << "the compiler compiles no program yet";
  const std::uint64_t count = FromEnvironment("MIRVO_CC_PROGRAMS", 2000);
  const auto seed = static_cast<std::uint32_t>(FromEnvironment("MIRVO_CC_SEED", 1));
  CcProgramGenerator generator(seed, CcSubset{});
  std::mt19937 random(seed);
  // The host builds programs in batches: one file is quicker than many.
  constexpr std::uint64_t kBatch = 500;
  int mismatches = 0;
  for (std::uint64_t first = 0; first < count && mismatches < 3; first += kBatch) {
    std::vector<Trial> trials;
    for (std::uint64_t i = first; i < first + kBatch && i < count; ++i) {
      Trial trial;
      trial.source = generator.Program("p" + std::to_string(i - first) + "x");
      for (std::uint8_t& byte : trial.inputs) byte = static_cast<std::uint8_t>(random());
      for (std::size_t level = 0; level < std::size(kLevels); ++level) ASSERT_TRUE(RunOnMachine(trial, level));
      trials.push_back(std::move(trial));
    }
    const std::vector<Results> host = RunOnHost(trials);
    ASSERT_EQ(host.size(), trials.size());
    for (std::size_t i = 0; i < trials.size() && mismatches < 3; ++i) {
      for (std::size_t level = 0; level < std::size(kLevels); ++level) {
        if (host[i] == trials[i].machine[level]) continue;
        ++mismatches;
        std::string inputs;
        for (std::uint8_t byte : trials[i].inputs) inputs += std::to_string(byte) + " ";
        ADD_FAILURE() << (kLevels[level] ? "optimised" : "-O0") << ", inputs at " << kInputBase << ": " << inputs
                      << "\nhost:    " << Listed(host[i]) << "\nmachine: " << Listed(trials[i].machine[level]) << "\n"
                      << trials[i].source;
      }
    }
  }
}

}  // namespace
}  // namespace mirvo::test
