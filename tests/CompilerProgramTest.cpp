// Runs the real MirvoVMCompiler in a scratch folder: it answers its command
// line, names the file it was given, and writes nothing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

TEST(CompilerProgramTest, AnswersItsCommandLine) {
  const std::string banner = kCompilerBanner + "This application has not yet been implemented...\n\n";
  struct Row {
    std::vector<std::string> args;
    std::string output;
    int exitCode;
  };
  const Row rows[] = {
      {{}, "Invalid arguments!\nUsage: MirvoVMCompiler <filename>\n\n", 1},
      {{"missing.c"}, "Opening missing.c ...\n\nTODO: Read in and compile the .c file\n", 0},
      {{"a.c", "b.c"}, "Opening a.c ...\n\nTODO: Read in and compile the .c file\n", 0},
  };
  ScratchDir dir;
  for (const Row& row : rows) {
    const ProcessResult result = RunProgram(MIRVO_COMPILER_PATH, row.args, dir.Path());
    EXPECT_EQ(result.output, banner + row.output);
    EXPECT_EQ(result.exitCode, row.exitCode);
  }
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace mirvo::test
