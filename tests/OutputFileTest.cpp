// Runs the real programs on outputs a temporary file and rename would damage
// or refuse: devices, FIFOs, protected files, long names, closed folders,
// links, and the source named as the image. Each case checks the console
// text, the exit code and everything the scratch folder holds afterwards.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

// Every case starts with this source beside it; it assembles to "o".
const std::string kSource = "MOV L,A";

enum class Who { kAnyone, kRoot, kUnprivileged };

struct OutputCase {
  const char* id;
  Who who;
  std::string setup;  // shell commands run in the scratch folder first
  const char* program;
  std::vector<std::string> args;
  std::string output;  // after the banner
  int exitCode;
  std::vector<std::string> after;  // Describe of the folder afterwards
};

void PrintTo(const OutputCase& c, std::ostream* out) { *out << c.id; }

std::string Printable(const std::string& bytes) {
  std::string text;
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte < 0x7F) {
      text.push_back(ch);
    } else {
      char escape[5];
      std::snprintf(escape, sizeof(escape), "\\x%02X", byte);
      text += escape;
    }
  }
  return text;
}

// One line per entry under folder, sorted: name, kind, and what it holds;
// files not owned by the test's own user and group name their owner.
// fifoBytes holds what was read from each FIFO while the program ran.
void Describe(const std::string& folder, const std::string& prefix, const std::map<std::string, std::string>& fifoBytes,
              std::vector<std::string>& lines) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat info {};
    ::lstat(path.c_str(), &info);
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", info.st_mode & 07777);
    std::string line = prefix + name;
    if (S_ISREG(info.st_mode)) {
      line += " file " + std::string(mode) + " " + std::to_string(info.st_nlink) + " " + Printable(ReadFile(path));
      if (info.st_uid != ::geteuid() || info.st_gid != ::getegid()) {
        line += " owner " + std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid);
      }
    } else if (S_ISLNK(info.st_mode)) {
      char target[256] = {};
      ::readlink(path.c_str(), target, sizeof(target) - 1);
      line += " link -> " + std::string(target);
    } else if (S_ISCHR(info.st_mode)) {
      line += " chardev " + std::to_string(major(info.st_rdev)) + "," + std::to_string(minor(info.st_rdev));
    } else if (S_ISFIFO(info.st_mode)) {
      const auto got = fifoBytes.find(name);
      line += " fifo " + Printable(got == fifoBytes.end() ? "" : got->second);
    } else if (S_ISDIR(info.st_mode)) {
      line += " dir " + std::string(mode);
    }
    lines.push_back(line);
    if (S_ISDIR(info.st_mode)) Describe(path, prefix + name + "/", fifoBytes, lines);
  }
}

const std::string kLongName(255, 'n');
const std::string kSourceLine = "p.asm file 0644 1 " + kSource;
const std::string kOpening = "Opening p.asm\n";
const std::string kAssembled = "Assembly Complete(";
const std::string kFailure = "Assembly Failure!\n";
const std::string kVmRun = "Executing prog.bin\nWriting output log\n";
const std::string kVmEnd = "MirvoVM runtime complete.. exiting.\n\n";
const std::string kRet = "printf '\\311' > prog.bin";

std::string SourceIsImage(const std::string& image) {
  return kOpening + "Error! The image " + image + " is the source file\n" + kFailure;
}

const OutputCase kCases[] = {
    {"DeviceNode", Who::kRoot, "mknod null c 1 3", MIRVO_ASSEMBLER_PATH, {"p.asm", "null"},
     kOpening + kAssembled + "null)\n", 0, {"null chardev 1,3", kSourceLine}},
    {"StateMapLinkedToADevice", Who::kRoot, "mknod null c 1 3; ln -s null MirvoVMStateMap.txt; " + kRet,
     MIRVO_VM_PATH, {"prog.bin"}, kVmRun + kVmEnd, 0,
     {"MirvoVMStateMap.txt link -> null", "null chardev 1,3", kSourceLine, "prog.bin file 0644 1 \\xC9"}},
    {"FifoWithAReader", Who::kAnyone, "mkfifo pipe", MIRVO_ASSEMBLER_PATH, {"p.asm", "pipe"},
     kOpening + kAssembled + "pipe)\n", 0, {kSourceLine, "pipe fifo o"}},
    {"FileTheUserMayNotWrite", Who::kUnprivileged, "printf old > out.bin; chmod 444 out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + "Error! Cannot write out.bin\n" + kFailure, 1,
     {"out.bin file 0444 1 old", kSourceLine}},
    {"StateMapTheUserMayNotWrite", Who::kUnprivileged,
     "printf old > MirvoVMStateMap.txt; chmod 444 MirvoVMStateMap.txt; " + kRet, MIRVO_VM_PATH,
     {"prog.bin"}, kVmRun + "Error! Cannot write MirvoVMStateMap.txt\n" + kVmEnd, 1,
     {"MirvoVMStateMap.txt file 0444 1 old", kSourceLine, "prog.bin file 0644 1 \\xC9"}},
    {"NameOf255Characters", Who::kAnyone, "", MIRVO_ASSEMBLER_PATH, {"p.asm", kLongName},
     kOpening + kAssembled + kLongName + ")\n", 0, {kLongName + " file 0644 1 o", kSourceLine}},
    {"WritableFileInAReadOnlyFolder", Who::kUnprivileged,
     "mkdir closed; printf old > closed/out.bin; chmod 666 closed/out.bin; chmod 555 closed", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "closed/out.bin"}, kOpening + kAssembled + "closed/out.bin)\n", 0,
     {"closed dir 0555", "closed/out.bin file 0666 1 o", kSourceLine}},
    {"DanglingLink", Who::kAnyone, "ln -s made.bin out.bin", MIRVO_ASSEMBLER_PATH, {"p.asm", "out.bin"},
     kOpening + kAssembled + "out.bin)\n", 0, {"made.bin file 0644 1 o", "out.bin link -> made.bin", kSourceLine}},
    {"DanglingLinkIntoNoFolder", Who::kAnyone, "ln -s none/made.bin out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + "Error! Cannot write out.bin\n" + kFailure, 1,
     {"out.bin link -> none/made.bin", kSourceLine}},
    {"HardLinkedOutput", Who::kAnyone, "printf old > out.bin; ln out.bin other.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0,
     {"other.bin file 0644 2 o", "out.bin file 0644 2 o", kSourceLine}},
    {"FileOfAnotherOwner", Who::kRoot, "printf old > out.bin; chown 65534:65534 out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0,
     {"out.bin file 0644 1 o owner 65534:65534", kSourceLine}},
    {"SourceAsImage", Who::kAnyone, "", MIRVO_ASSEMBLER_PATH, {"p.asm", "p.asm"}, SourceIsImage("p.asm"), 1,
     {kSourceLine}},
    {"SourceAsImageThroughDot", Who::kAnyone, "", MIRVO_ASSEMBLER_PATH, {"p.asm", "./p.asm"},
     SourceIsImage("./p.asm"), 1, {kSourceLine}},
    {"SourceAsImageThroughAnotherFolder", Who::kAnyone, "mkdir sub", MIRVO_ASSEMBLER_PATH, {"p.asm", "sub/../p.asm"},
     SourceIsImage("sub/../p.asm"), 1, {kSourceLine, "sub dir 0755"}},
    {"SourceAsImageThroughASymbolicLink", Who::kAnyone, "ln -s p.asm link.asm", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "link.asm"}, SourceIsImage("link.asm"), 1, {"link.asm link -> p.asm", kSourceLine}},
    {"SourceAsImageThroughAHardLink", Who::kAnyone, "ln p.asm hard.asm", MIRVO_ASSEMBLER_PATH, {"p.asm", "hard.asm"},
     SourceIsImage("hard.asm"), 1, {"hard.asm file 0644 2 " + kSource, "p.asm file 0644 2 " + kSource}},
};

class OutputFileTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputFileTest, ConsoleExitCodeAndFolderAfterwards) {
  const OutputCase& c = GetParam();
  const bool root = ::geteuid() == 0;
  if (c.who == Who::kRoot && !root) GTEST_SKIP() << "device nodes and files of other owners need root";
  ::umask(022);
  ScratchDir dir;
  WriteFile(dir / "p.asm", kSource);
  ASSERT_EQ(RunProgram("/bin/sh", {"-c", c.setup}, dir.Path()).exitCode, 0) << c.setup;

  // Each FIFO gets a reader first, so the program's open does not wait.
  std::map<std::string, int> readers;
  for (const std::string& name : dir.Entries()) {
    struct stat info {};
    if (::lstat((dir / name).c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
      readers[name] = ::open((dir / name).c_str(), O_RDONLY | O_NONBLOCK);
    }
  }

  std::string program = c.program;
  std::vector<std::string> args = c.args;
  if (c.who == Who::kUnprivileged && root) {
    // Root may write everything; run as nobody in a folder nobody may write.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    program = "/usr/bin/setpriv";
  }
  const ProcessResult result = RunProgram(program, args, dir.Path());
  const std::string& banner = std::string(c.program) == MIRVO_VM_PATH ? kVmBanner : kAssemblerBanner;
  EXPECT_EQ(result.output, banner + c.output);
  EXPECT_EQ(result.exitCode, c.exitCode);

  std::map<std::string, std::string> fifoBytes;
  for (const auto& [name, reader] : readers) {
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::read(reader, buffer, sizeof(buffer))) > 0) {
      fifoBytes[name].append(buffer, static_cast<std::size_t>(got));
    }
    ::close(reader);
  }
  std::vector<std::string> after;
  Describe(dir.Path(), "", fifoBytes, after);
  EXPECT_EQ(after, c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.id); });

}  // namespace
}  // namespace mirvo::test
