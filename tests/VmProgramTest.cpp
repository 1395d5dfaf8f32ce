// Runs the real MirvoVM in a scratch folder and checks its console text, exit
// code and state map for every way a run can end, and that the map is
// written, or refused, as a whole.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

const std::string& kBanner = kVmBanner;
const std::string kClosing = "Writing output log\nMirvoVM runtime complete.. exiting.\n\n";
const std::string kOldMap = "an earlier report\n";

enum class Map { kWritten, kKeptOld };

struct VmCase {
  const char* name;
  std::vector<std::string> args;
  std::string image;  // written to prog.bin when writeImage, even when empty
  bool writeImage;
  std::string output;  // after the banner
  int exitCode;
  Map map;
  std::vector<std::string> excerpts = {};  // text the written map holds
};

std::string Repeat(char byte, std::size_t count) { return std::string(count, byte); }

// A program that neither ends nor comes back to an earlier state within the
// step limit. D counts the passes; E gets, each pass, the byte of the table in
// the top page that D selects: 40h, and 41h for D = FFh, so E counts the
// times D came round. (D, E) takes 65536 passes of 65534 steps to come back;
// 2^30 steps end 32768 steps into pass 16385, at 8002h, with D = 1, E = 80h.
std::string EndlessWithoutRepeat() {
  std::string image = Bytes({0x26, 0xFF,  // MVI H, FFh: the table's page
                             0x6A,        // MOV L, D
                             0x7B,        // MOV A, E
                             0x86,        // ADD Mem: A = E + table[D]
                             0x5F,        // MOV E, A
                             0x06, 0x01,  // MVI B, 1h
                             0x7A,        // MOV A, D
                             0x80,        // ADD B
                             0x57});      // MOV D, A
  image.resize(65536, '\x40');  // MOV B, B to the end, through the table
  image.back() = '\x41';        // table[FFh]: MOV B, C
  return image;
}

TEST(VmProgramTest, ConsoleExitCodeAndReportForEachEnding) {
  const std::string halting = Bytes({0x3E, 0xF0, 0x06, 0x20, 0x80, 0xC9});
  const VmCase cases[] = {
      {"no argument", {}, "", false, "Invalid argument count!\n\nUsage: MirvoVM <filename>\n\n", 1, Map::kKeptOld},
      {"missing image", {"missing.bin"}, "", false, "Error! Cannot open missing.bin\n", 1, Map::kKeptOld},
      {"missing folder", {"no/such/prog.bin"}, "", false, "Error! Cannot open no/such/prog.bin\n", 1, Map::kKeptOld},
      {"image is a folder", {"."}, "", false, "Error! Cannot read .\n", 1, Map::kKeptOld},
      {"image too large", {"prog.bin"}, Repeat('\xC9', 65537), true, "Error! prog.bin is larger than 65536 bytes\n", 1,
       Map::kKeptOld},
      {"full memory", {"prog.bin"}, Repeat('\xC9', 65536), true, "Executing prog.bin\n" + kClosing, 0, Map::kWritten},
      {"halts", {"prog.bin"}, halting, true, "Executing prog.bin\n" + kClosing, 0, Map::kWritten},
      {"extra arguments ignored", {"prog.bin", "other", "more"}, halting, true, "Executing prog.bin\n" + kClosing, 0,
       Map::kWritten},
      {"empty image", {"prog.bin"}, "", true,
       "Executing prog.bin\nError! Undefined opcode 0x0 at 0x0\n" + kClosing, 2, Map::kWritten},
      {"image ends inside mvi", {"prog.bin"}, Bytes({0x3E}), true,
       "Executing prog.bin\nError! Undefined opcode 0x0 at 0x2\n" + kClosing, 2, Map::kWritten},
      {"undefined opcode", {"prog.bin"}, Bytes({0x40, 0x41, 0xD3}), true,
       "Executing prog.bin\nError! Undefined opcode 0xd3 at 0x2\n" + kClosing, 2, Map::kWritten},
      {"endless", {"prog.bin"}, Repeat('\x40', 65536), true,
       "Executing prog.bin\nError! The program loops forever without a RET\n" + kClosing, 2, Map::kWritten},
      {"step limit", {"prog.bin"}, EndlessWithoutRepeat(), true,
       "Executing prog.bin\nError! No RET within 1073741824 steps\n" + kClosing, 2, Map::kWritten,
       {"\nReg D: 1 (1)\nReg E: 80 (128)\n", "Instruction Pointer\n0x8002 (32770)\n"}},
  };
  for (const VmCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteFile(dir / "MirvoVMStateMap.txt", kOldMap);
    if (c.writeImage) WriteFile(dir / "prog.bin", c.image);
    const ProcessResult result = RunProgram(MIRVO_VM_PATH, c.args, dir.Path());
    EXPECT_EQ(result.output, kBanner + c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    const std::string map = ReadFile(dir / "MirvoVMStateMap.txt");
    if (c.map == Map::kKeptOld) {
      EXPECT_EQ(map, kOldMap);
    } else {
      EXPECT_EQ(map.rfind("This output file was produced by MirvoVM.\n", 0), 0U);
      EXPECT_EQ(std::count(map.begin(), map.end(), '\n'), 65565);
    }
    for (const std::string& excerpt : c.excerpts) EXPECT_NE(map.find(excerpt), std::string::npos) << excerpt;
    // Nothing but what the test put there and the report.
    const std::vector<std::string> expected =
        c.writeImage ? std::vector<std::string>{"MirvoVMStateMap.txt", "prog.bin"}
                     : std::vector<std::string>{"MirvoVMStateMap.txt"};
    EXPECT_EQ(dir.Entries(), expected);
  }
}

TEST(VmProgramTest, ReportShowsTheFinalState) {
  ScratchDir dir;
  WriteFile(dir / "prog.bin", Bytes({0x3E, 0xF0, 0x06, 0x20, 0x80, 0xC9}));
  ASSERT_EQ(RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path()).exitCode, 0);
  const std::string map = ReadFile(dir / "MirvoVMStateMap.txt");
  for (const char* line : {"\nOutput log from: prog.bin\n\n", "\nReg A: 10 (16)\nReg B: 20 (32)\nReg C: 0 (0)\n",
                           "\n0 0   0    0   0\n", "Instruction Pointer\n0x5 (5)\n", "Stack Pointer\n0xffff (65535)\n",
                           "Memory Map\n0x0: 0x3e (62)\n0x1: 0xf0 (240)\n", "\n0xffff: 0x0 (0)\n\n"}) {
    EXPECT_NE(map.find(line), std::string::npos) << line;
  }
}

TEST(VmProgramTest, UnwritableReportIsAnErrorAndLeavesNoTemporaryFile) {
  struct Row {
    const char* name;
    std::string image;
    int exitCode;
    std::string error;
  };
  const Row rows[] = {
      {"after a halt", Bytes({0xC9}), 1, ""},
      {"wins over a stopped run", Bytes({0x00}), 1, "Error! Undefined opcode 0x0 at 0x0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    WriteFile(dir / "prog.bin", row.image);
    ASSERT_EQ(::mkdir((dir / "MirvoVMStateMap.txt").c_str(), 0755), 0);
    const ProcessResult result = RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path());
    EXPECT_EQ(result.output, kBanner + "Executing prog.bin\n" + row.error +
                                 "Writing output log\nError! Cannot write MirvoVMStateMap.txt\n"
                                 "MirvoVM runtime complete.. exiting.\n\n");
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"MirvoVMStateMap.txt", "prog.bin"}));
  }
}

TEST(VmProgramTest, ReportIsWrittenThroughASymbolicLink) {
  ScratchDir dir;
  WriteFile(dir / "prog.bin", Bytes({0xC9}));
  ASSERT_EQ(::mkdir((dir / "reports").c_str(), 0755), 0);
  WriteFile(dir / "reports/latest.txt", "old\n");
  ASSERT_EQ(::symlink("reports/latest.txt", (dir / "MirvoVMStateMap.txt").c_str()), 0);
  ASSERT_EQ(RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path()).exitCode, 0);
  struct stat link {};
  ASSERT_EQ(::lstat((dir / "MirvoVMStateMap.txt").c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(ReadFile(dir / "reports/latest.txt").rfind("This output file was produced by MirvoVM.\n", 0), 0U);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"MirvoVMStateMap.txt", "prog.bin", "reports"}));
}

}  // namespace
}  // namespace mirvo::test
