// The C examples (examples/c/): each compiled by mirvo cc and run by mirvo
// run with its inputs, and built by the host's C compiler with the README's
// harness; the bytes each writes must be those of the table, which the host
// build holds to the C the examples are.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Compiler.h"
#include "MirvoHeader.h"
#include "Notation.h"
#include "TestSupport.h"

namespace mirvo::test {
namespace {

struct ExampleCase {
  const char* file;           // under examples/c
  std::vector<int> given;     // the bytes from 1000h on
  std::vector<int> expected;  // the bytes from 1000h on afterwards
  // False while the compiler refuses the example: only the host build is
  // held to the row then.
  bool compiles = true;
};

const std::vector<ExampleCase> kCases = {
    {"sum.c", {1, 2, 3, 4}, {1, 2, 3, 4, 10}},
    {"sum.c", {0xF0, 0x20, 0x05, 0xFF}, {0xF0, 0x20, 0x05, 0xFF, 0x14}},
    {"table.c", {7}, {7, 49}},
    {"table.c", {0x1F}, {0x1F, 225}},
    {"early.c", {0}, {0, 1}},
    {"early.c", {5}, {5, 2}},
    {"unrolled.c", {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8, 36, 8}},
    {"unrolled.c", {0x90, 0x90, 0, 0xFE, 1, 0, 0, 3}, {0x90, 0x90, 0, 0xFE, 1, 0, 0, 3, 0x22, 0xFE}},
    {"exercises/05-add.c", {5, 7}, {5, 7, 12}},
    {"exercises/05-add.c", {0xF0, 0x20}, {0xF0, 0x20, 0x10}},
    {"exercises/06-double.c", {0x80, 0xAA}, {0x80, 0}},
    {"exercises/09-sum.c", {0xFF, 1, 0, 5}, {0xFF, 1, 0, 5, 5}},
};

std::string GivenText(const std::vector<int>& bytes) {
  std::string text = "[1000h]=";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += (i > 0 ? "," : "") + std::string(ByteNotation(static_cast<std::uint8_t>(bytes[i])).text);
  }
  return text;
}

// The bytes from 1000h after the example ran on the host, built with the
// README's harness and the given bytes put in place first.
std::vector<int> OnHost(const ExampleCase& c, const ScratchDir& dir) {
  std::string harness = "#include \"" + std::string(MIRVO_EXAMPLES_DIR) + "/c/" + c.file + "\"\n#undef main\n";
  harness += "int main(void) {\n";
  for (std::size_t i = 0; i < c.given.size(); ++i) {
    harness += "  mem[" + std::to_string(0x1000 + i) + "] = " + std::to_string(c.given[i]) + ";\n";
  }
  harness += "  mirvo_main();\n  fwrite(mem, 1, sizeof mem, stdout);\n}\n";
  WriteFile(dir / "harness.c", harness);
  const SplitResult built = RunProgramSplit(
      MIRVO_HOST_CC, {"-std=c11", "-Wall", "-Werror", "-I", MIRVO_INCLUDE_DIR, "harness.c", "-o", "harness"},
      dir.Path());
  EXPECT_EQ(built.exitCode, 0) << built.err;
  const SplitResult ran = RunProgramSplit(dir / "harness", {}, dir.Path());
  std::vector<int> bytes;
  for (std::size_t i = 0; i < c.expected.size() && 0x1000 + i < ran.out.size(); ++i) {
    bytes.push_back(static_cast<unsigned char>(ran.out[0x1000 + i]));
  }
  return bytes;
}

// The same on the machine: mirvo run of the C file, its memory from --json.
std::vector<int> OnMachine(const ExampleCase& c, const ScratchDir& dir) {
  const SplitResult ran = RunProgramSplit(
      MIRVO_CLI_PATH,
      {"run", std::string(MIRVO_EXAMPLES_DIR) + "/c/" + c.file, "--json", "--given", GivenText(c.given)}, dir.Path());
  EXPECT_EQ(ran.exitCode, 0) << ran.err;
  std::vector<int> bytes(c.expected.size(), 0);
  for (std::size_t i = 0; i < c.given.size() && i < bytes.size(); ++i) bytes[i] = c.given[i];
  const nlohmann::json summary = nlohmann::json::parse(ran.out, nullptr, false);
  if (summary.is_discarded()) return {};
  for (const nlohmann::json& changed : summary["changed"]) {
    const int address = changed["address"].get<int>();
    if (address >= 0x1000 && address < 0x1000 + static_cast<int>(bytes.size())) {
      bytes[static_cast<std::size_t>(address - 0x1000)] = changed["after"].get<int>();
    }
  }
  return bytes;
}

TEST(CcExamplesTest, EachExampleWritesWhatTheHostBuildWrites) {
  if (!cc::Compile("void main(void) {}\n").ok) GTEST_SKIP() << "the compiler compiles no program yet";
  for (const ExampleCase& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " given " + GivenText(c.given));
    ScratchDir dir;
    EXPECT_EQ(OnHost(c, dir), c.expected);
    if (c.compiles) {
      EXPECT_EQ(OnMachine(c, dir), c.expected);
    }
  }
}

// The compiler reads the header the host's compilers read: the same bytes.
TEST(CcHeaderTest, TheEngineHoldsTheShippedHeader) {
  EXPECT_EQ(cc::MirvoHeaderText(), ReadFile(std::string(MIRVO_INCLUDE_DIR) + "/mirvo.h"));
}

}  // namespace
}  // namespace mirvo::test
