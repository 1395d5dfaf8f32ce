// Every example program is assembled and run; its state map must hold the
// excerpt that examples/<name>.expected gives, and MirvoVM must end with the
// exit code written there. Each expectation needs its program: in examples/,
// or, for those the build writes from a recipe, in the build's examples/.

#include <dirent.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

struct Expectation {
  int exitCode = -1;
  std::vector<std::string> blocks;  // each block ends with a line feed
};

Expectation ReadExpectation(const std::string& path) {
  Expectation expectation;
  std::istringstream text(ReadFile(path));
  std::string line;
  std::string block;
  bool inBlock = false;
  while (std::getline(text, line)) {
    if (line.rfind("#", 0) == 0 && !inBlock) continue;
    if (line.rfind("exit code ", 0) == 0 && !inBlock) {
      expectation.exitCode = std::stoi(line.substr(10));
    } else if (line == "---") {
      if (inBlock) expectation.blocks.push_back(block);
      block.clear();
      inBlock = true;
    } else {
      block += line + "\n";
    }
  }
  if (inBlock) expectation.blocks.push_back(block);
  return expectation;
}

const std::string kSuffix = ".expected";

std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(MIRVO_EXAMPLES_DIR)) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > kSuffix.size() && name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
        names.push_back(name.substr(0, name.size() - kSuffix.size()));
      }
    }
    ::closedir(dir);
  }
  return names;
}

std::string SourceOf(const std::string& name) {
  const std::string written = std::string(MIRVO_EXAMPLES_DIR) + "/" + name + ".asm";
  return FileExists(written) ? written : std::string(MIRVO_GENERATED_EXAMPLES_DIR) + "/" + name + ".asm";
}

TEST(ExamplesTest, EachExampleLeavesItsExpectedState) {
  const std::vector<std::string> names = ExampleNames();
  ASSERT_GE(names.size(), 6U);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string source = SourceOf(name);
    ASSERT_TRUE(FileExists(source));
    const Expectation expectation = ReadExpectation(std::string(MIRVO_EXAMPLES_DIR) + "/" + name + kSuffix);
    ASSERT_FALSE(expectation.blocks.empty());
    ScratchDir dir;
    const ProcessResult assembled = RunProgram(MIRVO_ASSEMBLER_PATH, {source, "prog.bin"}, dir.Path());
    ASSERT_EQ(assembled.exitCode, 0) << assembled.output;
    const ProcessResult run = RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path());
    EXPECT_EQ(run.exitCode, expectation.exitCode) << run.output;
    const std::string map = ReadFile(dir / "MirvoVMStateMap.txt");
    for (const std::string& block : expectation.blocks) {
      EXPECT_NE(map.find("\n" + block), std::string::npos) << block;
    }
  }
}

}  // namespace
}  // namespace mirvo::test
