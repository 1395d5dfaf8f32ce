// Speed of the virtual machine's two heavy parts:
// - the run loop, in steps per second, on a long program that never halts
//   (bench/CountingProgram.h), beside Step called one at a time;
// - the state map, written whole, beside a plain write of as many bytes to a
//   file in the same folder (the report's cost should stay within 1.3 times
//   that of the plain write).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CountingProgram.h"
#include "RunChecks.h"
#include "RunLoop.h"
#include "StateMap.h"
#include "StateMapFile.h"
#include "StepByStep.h"

namespace mirvo {
namespace {

void BM_RunLoop(benchmark::State& state) {
  const auto start = bench::CountingProgram();
  auto machine = std::make_unique<VirtualMachine>();
  const auto steps = static_cast<std::uint64_t>(state.range(0));
  for (auto _ : state) {
    *machine = *start;
    benchmark::DoNotOptimize(RunToEnd(*machine, steps));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(steps));
}
BENCHMARK(BM_RunLoop)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The same run watched by the run-time checks (the target: at most three
// times the time of BM_RunLoop). With every check (second argument 1) the
// program's ADDs wrap past FFh at every 256th step, so carry-lost is reported
// at 14,648 addresses along the way; without carry-lost (0) nothing is
// reported and the cost is the watched loop's alone.
void BM_RunLoopWithChecks(benchmark::State& state) {
  const auto start = bench::CountingProgram();
  auto machine = std::make_unique<VirtualMachine>();
  const auto steps = static_cast<std::uint64_t>(state.range(0));
  const CheckMask enabled = state.range(1) != 0 ? kAllChecks : kAllChecks & ~CheckBit(CheckId::kCarryLost);
  std::size_t findings = 0;
  for (auto _ : state) {
    *machine = *start;
    CheckedProgram program;
    program.imageLength = kMemorySize;
    program.givenRegisters = 1U << kRegB;
    RunChecks checks(std::move(program), enabled);
    Run run(*machine, steps);
    benchmark::DoNotOptimize(checks.Resume(run, UINT64_MAX));
    findings = checks.Findings().size();
  }
  state.counters["findings"] = static_cast<double>(findings);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(steps));
}
BENCHMARK(BM_RunLoopWithChecks)->Args({10000000, 1})->Args({10000000, 0})->Unit(benchmark::kMillisecond);

// The same program through the step-by-step yardstick: what the run loop
// gains over calling Step one at a time.
void BM_StepByStep(benchmark::State& state) {
  const auto start = bench::CountingProgram();
  auto machine = std::make_unique<VirtualMachine>();
  const auto steps = static_cast<std::uint64_t>(state.range(0));
  for (auto _ : state) {
    *machine = *start;
    benchmark::DoNotOptimize(reference::RunByStep(*machine, steps));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(steps));
}
BENCHMARK(BM_StepByStep)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Both file benchmarks work in a scratch folder under the current one.
class ScratchFolder {
 public:
  ScratchFolder() {
    char name[] = "mirvo-bench-XXXXXX";
    if (::mkdtemp(name) != nullptr) path = name;
    previous = ::getcwd(nullptr, 0);
    if (!path.empty() && ::chdir(path.c_str()) != 0) path.clear();
  }
  ~ScratchFolder() {
    if (previous != nullptr && ::chdir(previous) == 0 && !path.empty()) {
      std::remove((path + "/" + kStateMapFileName).c_str());
      std::remove((path + "/plain.txt").c_str());
      ::rmdir(path.c_str());
    }
    std::free(previous);
  }

 private:
  std::string path;
  char* previous = nullptr;
};

std::unique_ptr<VirtualMachine> VariedMachine() {
  auto machine = std::make_unique<VirtualMachine>();
  for (unsigned a = 0; a < kMemorySize; ++a) {
    machine->WriteMemory(static_cast<std::uint16_t>(a), static_cast<std::uint8_t>(a * 37 + (a >> 8)));
  }
  return machine;
}

void BM_WriteStateMap(benchmark::State& state) {
  const ScratchFolder folder;
  const auto machine = VariedMachine();
  for (auto _ : state) benchmark::DoNotOptimize(WriteStateMap(*machine, "prog.bin", CommandFiles{}));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(StateMapText(*machine, "prog.bin").size()));
}
BENCHMARK(BM_WriteStateMap)->Unit(benchmark::kMicrosecond);

void BM_PlainWriteOfTheSameSize(benchmark::State& state) {
  const ScratchFolder folder;
  const auto machine = VariedMachine();
  const std::string bytes = StateMapText(*machine, "prog.bin");
  for (auto _ : state) {
    std::FILE* file = std::fopen("plain.txt", "w");
    if (file == nullptr) {
      state.SkipWithError("cannot create plain.txt");
      break;
    }
    for (std::size_t at = 0; at < bytes.size(); at += 65536) {
      std::fwrite(bytes.data() + at, 1, std::min<std::size_t>(65536, bytes.size() - at), file);
    }
    std::fclose(file);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_PlainWriteOfTheSameSize)->Unit(benchmark::kMicrosecond);

void BM_FormatStateMapOnly(benchmark::State& state) {
  const auto machine = VariedMachine();
  for (auto _ : state) {
    std::size_t total = 0;
    FormatStateMap(
        *machine, "prog.bin",
        [](void* context, const char*, std::size_t size) {
          *static_cast<std::size_t*>(context) += size;
          return true;
        },
        &total);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_FormatStateMapOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace mirvo

BENCHMARK_MAIN();
