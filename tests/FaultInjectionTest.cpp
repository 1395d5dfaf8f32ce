// Faults from outside the programs: a full disk, unreadable inputs and
// sources that are hostile or not text at all. The programs must refuse with
// a message and a non-zero exit code, and never damage an earlier output.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

// A small tmpfs, mounted for one test when the test runs as root.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& options) {
    if (::geteuid() != 0) {
      why = "not running as root";
      return;
    }
    if (::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why = std::string("mount failed: ") + std::strerror(errno);
      return;
    }
    mounted = true;
  }
  ~SmallFileSystem() {
    if (mounted) ::umount2(dir.Path().c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted; }
  const std::string& WhyNot() const { return why; }
  const ScratchDir& Dir() const { return dir; }

 private:
  ScratchDir dir;
  bool mounted = false;
  std::string why;
};

TEST(FaultInjectionTest, FullDiskKeepsTheEarlierStateMap) {
  SmallFileSystem disk("size=256k");
  if (!disk.Mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.WhyNot();
  const ScratchDir& dir = disk.Dir();
  const std::string oldMap = "an earlier report\n";
  WriteFile(dir / "MirvoVMStateMap.txt", oldMap);
  WriteFile(dir / "prog.bin", Bytes({0xC9}));
  const ProcessResult result = RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path());
  EXPECT_EQ(result.output, kVmBanner +
                               "Executing prog.bin\nWriting output log\nError! Cannot write MirvoVMStateMap.txt\n"
                               "MirvoVM runtime complete.. exiting.\n\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "MirvoVMStateMap.txt"), oldMap);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"MirvoVMStateMap.txt", "prog.bin"}));
}

TEST(FaultInjectionTest, FullDiskKeepsTheEarlierImage) {
  SmallFileSystem disk("size=64k");
  if (!disk.Mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.WhyNot();
  const ScratchDir& full = disk.Dir();
  const std::string oldImage = "an earlier image";
  WriteFile(full / "out.bin", oldImage);
  // Leave less room than the program needs.
  WriteFile(full / "filler", std::string(48 * 1024, 'f'));
  ScratchDir sources;
  std::string program;
  for (int i = 0; i < 30000; ++i) program += "RET\n";
  WriteFile(sources / "prog.asm", program);
  const std::string image = full / "out.bin";
  const ProcessResult result = RunProgram(MIRVO_ASSEMBLER_PATH, {"prog.asm", image}, sources.Path());
  EXPECT_EQ(result.output,
            kAssemblerBanner + "Opening prog.asm\nError! Cannot write " + image + "\nAssembly Failure!\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(ReadFile(image), oldImage);
  EXPECT_EQ(full.Entries(), (std::vector<std::string>{"filler", "out.bin"}));
}

TEST(FaultInjectionTest, UnreadableInputsAreRefused) {
  struct Row {
    const char* name;
    const char* program;
    std::vector<std::string> args;
    std::string output;
  };
  const Row rows[] = {
      {"vm: folder", MIRVO_VM_PATH, {"folder"}, kVmBanner + "Error! Cannot read folder\n"},
      {"vm: missing folder", MIRVO_VM_PATH, {"none/prog.bin"}, kVmBanner + "Error! Cannot open none/prog.bin\n"},
      {"assembler: folder",
       MIRVO_ASSEMBLER_PATH,
       {"folder", "out.bin"},
       kAssemblerBanner + "Opening folder\nError! Cannot read folder\nAssembly Failure!\n"},
      {"assembler: missing folder",
       MIRVO_ASSEMBLER_PATH,
       {"none/prog.asm", "out.bin"},
       kAssemblerBanner + "Opening none/prog.asm\nError! Cannot open none/prog.asm\nAssembly Failure!\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
    const ProcessResult result = RunProgram(row.program, row.args, dir.Path());
    EXPECT_EQ(result.output, row.output);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"folder"});
  }
}

TEST(FaultInjectionTest, FileWithoutReadPermissionIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file, whatever its permissions";
  ScratchDir dir;
  WriteFile(dir / "prog.bin", Bytes({0xC9}));
  WriteFile(dir / "prog.asm", "RET\n");
  ASSERT_EQ(::chmod((dir / "prog.bin").c_str(), 0), 0);
  ASSERT_EQ(::chmod((dir / "prog.asm").c_str(), 0), 0);
  EXPECT_EQ(RunProgram(MIRVO_VM_PATH, {"prog.bin"}, dir.Path()).output, kVmBanner + "Error! Cannot open prog.bin\n");
  EXPECT_EQ(RunProgram(MIRVO_ASSEMBLER_PATH, {"prog.asm", "out.bin"}, dir.Path()).output,
            kAssemblerBanner + "Opening prog.asm\nError! Cannot open prog.asm\nAssembly Failure!\n");
}

TEST(FaultInjectionTest, HostileSources) {
  std::string everyByte;
  for (int i = 0; i < 1024; ++i) everyByte.push_back(static_cast<char>(i & 0xFF));
  std::string manyComments;
  for (int i = 0; i < 100000; ++i) manyComments += "; comment line\n";
  struct Row {
    const char* name;
    std::string source;
    std::string output;  // after "Opening prog.asm\n"
    std::string image;   // when the assembly succeeds
  };
  const std::string complete = "Assembly Complete(out.bin)\n";
  const Row rows[] = {
      {"10 MiB line", "MVI A," + std::string(10 << 20, ' ') + "5h ; far away\nRET\n", complete,
       Bytes({0x3E, 0x05, 0xC9})},
      {"10 MiB token", std::string(10 << 20, 'x') + "\n",
       "Undefined Instruction\nError! on line 1\nAssembly Failure!\n", ""},
      {"NUL bytes", std::string("RET\0ADD B\n\0\nADD C\n", 17), complete, Bytes({0xC9, 0x81})},
      {"only commas", std::string(5000, ',') + "\n,,,\n", complete, ""},
      {"only carriage returns", std::string(5000, '\r'), complete, ""},
      {"100,000 comment lines then a bad statement", manyComments + "NOP\n",
       "Undefined Instruction\nError! on line 100001\nAssembly Failure!\n", ""},
      {"not text at all", everyByte, "Undefined Instruction\nError! on line 2\nAssembly Failure!\n", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    WriteFile(dir / "prog.asm", row.source);
    const ProcessResult result = RunProgram(MIRVO_ASSEMBLER_PATH, {"prog.asm", "out.bin"}, dir.Path());
    EXPECT_EQ(result.output, kAssemblerBanner + "Opening prog.asm\n" + row.output);
    const bool succeeded = row.output == complete;
    EXPECT_EQ(result.exitCode, succeeded ? 0 : 1);
    EXPECT_EQ(FileExists(dir / "out.bin"), succeeded);
    if (succeeded) {
      EXPECT_EQ(ReadFile(dir / "out.bin"), row.image);
    }
  }
}

}  // namespace
}  // namespace mirvo::test
