// Every example program is assembled and run; its state map must hold the
// excerpt that examples/<name>.expected gives, and MirvoVM must end with the
// exit code written there.

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

std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(MIRVO_EXAMPLES_DIR)) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".asm") == 0) names.push_back(name.substr(0, name.size() - 4));
    }
    ::closedir(dir);
  }
  return names;
}

TEST(ExamplesTest, EachExampleLeavesItsExpectedState) {
  const std::vector<std::string> names = ExampleNames();
  ASSERT_GE(names.size(), 5U);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string base = std::string(MIRVO_EXAMPLES_DIR) + "/" + name;
    ASSERT_TRUE(FileExists(base + ".expected"));
    const Expectation expectation = ReadExpectation(base + ".expected");
    ASSERT_FALSE(expectation.blocks.empty());
    ScratchDir dir;
    const ProcessResult assembled = RunProgram(MIRVO_ASSEMBLER_PATH, {base + ".asm", "prog.bin"}, dir.Path());
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
