// What the C compiler makes of the examples and of one expression at a time:
// bytes of code and steps run, at -O0 (each statement on its own) and
// optimised, side by side. Each program runs on the machine with the bytes
// 200, 3, 17, 90, 5, 250, 64, 1 from 1000h, as its input.
//
//   mirvo_cc_sizes [EXAMPLES_DIR]   (default: the source tree's examples/c)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Compiler.h"
#include "ProgramImage.h"
#include "RunLoop.h"
#include "VirtualMachine.h"

namespace {

constexpr std::uint8_t kInput[] = {200, 3, 17, 90, 5, 250, 64, 1};

// One compile and its run: the image's bytes and the steps to its RET; for
// an expression, the bytes and steps of its own statement.
struct Measure {
  bool ok = false;
  std::size_t bytes = 0;
  std::uint64_t steps = 0;
  std::size_t statementBytes = 0, statementSteps = 0;
};

Measure Run(const std::string& source, bool optimise) {
  Measure m;
  const mirvo::cc::CompileResult compiled = mirvo::cc::Compile(source, mirvo::cc::CompileOptions{optimise});
  if (!compiled.ok) return m;
  auto machine = std::make_unique<mirvo::VirtualMachine>();
  if (mirvo::LoadImage(*machine, compiled.image.data(), compiled.image.size()) != mirvo::ImageStatus::kLoaded) return m;
  for (std::size_t i = 0; i < std::size(kInput); ++i)
    machine->WriteMemory(static_cast<std::uint16_t>(0x1000 + i), kInput[i]);
  if (mirvo::RunToEnd(*machine, 10'000'000, &m.steps) != mirvo::RunOutcome::kHalted) return m;
  m.ok = true;
  m.bytes = compiled.image.size();
  if (!compiled.map.empty()) {  // straight code: each instruction of the last statement runs once
    const mirvo::cc::StatementSpan& last = compiled.map.back();
    m.statementBytes = static_cast<std::size_t>(last.endAddress - last.firstAddress);
    m.statementSteps = last.assemblyLines.size();
  }
  return m;
}

void Row(const std::string& name, const Measure& o0, const Measure& o1, bool statement) {
  if (!o0.ok || !o1.ok) {
    std::printf("%-28s refused or did not halt\n", name.c_str());
    return;
  }
  const std::size_t b0 = statement ? o0.statementBytes : o0.bytes, b1 = statement ? o1.statementBytes : o1.bytes;
  const std::uint64_t s0 = statement ? o0.statementSteps : o0.steps, s1 = statement ? o1.statementSteps : o1.steps;
  std::printf("%-28s %8zu %8llu   %8zu %8llu   %5.0f%%\n", name.c_str(), b0, static_cast<unsigned long long>(s0), b1,
              static_cast<unsigned long long>(s1),
              b0 == 0 ? 0.0 : 100.0 * static_cast<double>(b1) / static_cast<double>(b0));
}

std::vector<std::filesystem::path> Sources(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, error)) {
    if (entry.path().extension() == ".c") found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : MIRVO_EXAMPLES_DIR;
  std::printf("%-28s %8s %8s   %8s %8s   %6s\n", "program", "-O0 B", "steps", "-O1 B", "steps", "bytes");
  for (const std::filesystem::path& path : Sources(dir)) {
    std::ifstream in(path, std::ios::binary);
    const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Row(std::filesystem::relative(path, dir).string(), Run(source, false), Run(source, true), false);
  }
  // Each expression is the last statement of a program that has read its
  // operands into locals; its row is that statement's code alone.
  static const char* const kExpressions[] = {
      "x * 10",
      "x * 255",
      "a + b",
      "a - b",
      "a + b + c",
      "x / 3",
      "x % 7",
      "x << 3",
      "x >> 2",
      "~x",
      "!x",
      "a == b",
      "a != b",
      "a < b",
      "a >= b",
      "a && b",
      "a || b",
      "c ? a : b",
      "(uint8_t)(a + b) < c",
  };
  std::printf("\n%-28s %8s %8s   %8s %8s   %6s\n", "mem[0x1010] = ...;", "-O0 B", "steps", "-O1 B", "steps", "bytes");
  for (const char* expression : kExpressions) {
    const std::string source = std::string("#include <mirvo.h>\nvoid main(void) {\n") +
                               "  uint8_t a = mem[0x1000], b = mem[0x1001], c = mem[0x1002], x = mem[0x1003];\n" +
                               "  mem[0x1010] = " + expression + ";\n}\n";
    Row(expression, Run(source, false), Run(source, true), true);
  }
  return 0;
}
