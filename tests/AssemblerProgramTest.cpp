// Runs the real MirvoVMAssembler in a scratch folder: console text, exit
// code, and what becomes of the image file. (Each example, assembled and
// run by MirvoVM, is checked in ExamplesTest; images that cannot be written,
// or replace a file, in OutputFileTest.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

const std::string& kBanner = kAssemblerBanner;
const std::string kUsage = "Invalid arguments!\nUsage: MirvoVMAssembler <filename> <out filename>\n\n";
const std::string kOldImage = "old image bytes";

struct AssemblerCase {
  const char* name;
  std::vector<std::string> args;
  std::string source;  // written to prog.asm unless noSource
  bool noSource;
  std::string output;  // after the banner
  int exitCode;
  std::string image;  // expected contents of out.bin afterwards
};

TEST(AssemblerProgramTest, ConsoleExitCodeAndImageForEachPath) {
  const std::string opening = "Opening prog.asm\n";
  const std::string complete = "Assembly Complete(out.bin)\n";
  const std::string failure = "Assembly Failure!\n";
  const AssemblerCase cases[] = {
      {"no argument", {}, "RET\n", false, kUsage, 1, kOldImage},
      {"only the source", {"prog.asm"}, "RET\n", false, kUsage, 1, kOldImage},
      {"success", {"prog.asm", "out.bin"}, "MVI A, 5h\nRET\n", false, opening + complete, 0,
       Bytes({0x3E, 0x05, 0xC9})},
      {"extra arguments ignored", {"prog.asm", "out.bin", "x"}, "RET\n", false, opening + complete, 0, Bytes({0xC9})},
      {"empty source", {"prog.asm", "out.bin"}, "", false, opening + complete, 0, ""},
      {"last line without line feed", {"prog.asm", "out.bin"}, "ADD B\nRET", false, opening + complete, 0,
       Bytes({0x80, 0xC9})},
      {"line without tokens is skipped", {"prog.asm", "out.bin"}, "MVI A, 5h\n, ; note\nRET\n", false,
       opening + complete, 0, Bytes({0x3E, 0x05, 0xC9})},
      {"missing source", {"prog.asm", "out.bin"}, "", true, opening + "Error! Cannot open prog.asm\n" + failure, 1,
       kOldImage},
      {"source is a folder", {".", "out.bin"}, "", true, "Opening .\nError! Cannot read .\n" + failure, 1, kOldImage},
      {"undefined instruction on line 5", {"prog.asm", "out.bin"}, ";1\n;2\n;3\n;4\nNOP\n", false,
       opening + "Undefined Instruction\nError! on line 5\n" + failure, 1, kOldImage},
      {"failure on line 3 after two good lines", {"prog.asm", "out.bin"}, "MVI A, 5h\nADD B\nADD B, C\nRET\n", false,
       opening + "Error! on line 3\n" + failure, 1, kOldImage},
      {"immediate out of range", {"prog.asm", "out.bin"}, "MVI A, 100h\n", false,
       opening + "Error! on line 1\n" + failure, 1, kOldImage},
      // The program reads a byte-order mark as part of the first word, as it always did.
      {"a byte-order mark", {"prog.asm", "out.bin"}, "\xEF\xBB\xBFRET\n", false,
       opening + "Undefined Instruction\nError! on line 1\n" + failure, 1, kOldImage},
      {"the README's worked example", {"prog.asm", "out.bin"}, ReadFile(std::string(MIRVO_EXAMPLES_DIR) + "/sum.asm"),
       false, opening + complete, 0,
       Bytes({0x3E, 0xF0, 0x06, 0x20, 0x80, 0x26, 0x10, 0x2E, 0x00, 0x77, 0x86, 0xB8, 0xC9})},
  };
  for (const AssemblerCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteFile(dir / "out.bin", kOldImage);
    if (!c.noSource) WriteFile(dir / "prog.asm", c.source);
    const ProcessResult result = RunProgram(MIRVO_ASSEMBLER_PATH, c.args, dir.Path());
    EXPECT_EQ(result.output, kBanner + c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(ReadFile(dir / "out.bin"), c.image);
    std::vector<std::string> expected{"out.bin"};
    if (!c.noSource) expected.push_back("prog.asm");
    EXPECT_EQ(dir.Entries(), expected);
  }
}

}  // namespace
}  // namespace mirvo::test
