// The C compiler's speed on 1,000 lines of C: globals, statements of every
// kind it lowers, a function inlined and a loop unrolled. A compile must
// take at most 50 ms: a run whose median takes longer fails with an error.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "Compiler.h"

namespace {

constexpr double kLimitMilliseconds = 50.0;

std::string ThousandLines() {
  std::string text = "#include <mirvo.h>\nunsigned char a, b, c;\nbool t;\nuint8_t table[16];\n";
  text += "unsigned char twice(unsigned char v) { return v + v; }\nvoid main(void) {\n";
  const char* const lines[] = {
      "  a = mem[0x8000 + b] + 3;",
      "  b = a * 10 - c;",
      "  mem[0x9000] = (unsigned char)(a + b) == c;",
      "  table[3] = twice(b);",
      "  t = (unsigned char)(a - b);",
      "  c += a; c++;",
      "  for (unsigned char i = 0; i < 3; i++) mem[0x9100 + i] = a + i;",
      "  mem[0x9200 + a] = ~b;",
  };
  for (int i = 0; i < 992; ++i) text.append(lines[i % 8]).push_back('\n');
  return text + "}\n";
}

void BM_CompileThousandLines(benchmark::State& state) {
  const std::string source = ThousandLines();
  std::vector<double> took;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = mirvo::cc::Compile(source);
    took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (!result.ok) {
      state.SkipWithError("the thousand lines did not compile");
      return;
    }
    bytes = result.image.size();
    benchmark::DoNotOptimize(result.image.data());
  }
  std::sort(took.begin(), took.end());
  const double median = took[took.size() / 2];
  state.counters["median_ms"] = median;
  state.counters["image_bytes"] = static_cast<double>(bytes);
  if (median > kLimitMilliseconds) state.SkipWithError("the median compile took longer than 50 ms");
}
BENCHMARK(BM_CompileThousandLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
