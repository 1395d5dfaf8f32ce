// Runs the real programs on outputs a temporary file and rename would damage
// or refuse: devices, FIFOs, protected files, long names, closed folders and
// links; then every output of every program named as one of its inputs,
// however spelled. Each case checks the console text, the exit code and
// everything the scratch folder holds afterwards.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

// Every case starts with this source beside it; it assembles to "o".
const std::string kSource = "MOV L,A";

// kInGroup: nobody, with group 100 among its supplementary groups.
enum class Who { kAnyone, kRoot, kUnprivileged, kInGroup };

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

// The inode of each regular file under folder, by its path below it.
void Inodes(const std::string& folder, const std::string& prefix, std::map<std::string, ino_t>& inodes) {
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      struct stat info {};
      if (name == "." || name == ".." || ::lstat((folder + "/" + name).c_str(), &info) != 0) continue;
      if (S_ISREG(info.st_mode)) inodes[prefix + name] = info.st_ino;
      if (S_ISDIR(info.st_mode)) Inodes(folder + "/" + name, prefix + name + "/", inodes);
    }
    ::closedir(dir);
  }
}

// One line per entry under folder, sorted: name, kind, and what it holds;
// files not owned by the test's own user and group name their owner, and
// a file that was there before (in before) but is another file now, as a
// rename leaves it, says "replaced". fifoBytes holds what was read from
// each FIFO while the program ran.
void Describe(const std::string& folder, const std::string& prefix, const std::map<std::string, std::string>& fifoBytes,
              const std::map<std::string, ino_t>& before, std::vector<std::string>& lines) {
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
      const auto was = before.find(prefix + name);
      if (was != before.end() && was->second != info.st_ino) line += " replaced";
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
    if (S_ISDIR(info.st_mode)) Describe(path, prefix + name + "/", fifoBytes, before, lines);
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
    {"ImageIntoNoFolder", Who::kAnyone, "", MIRVO_ASSEMBLER_PATH, {"p.asm", "no/such/out.bin"},
     kOpening + "Error! Cannot write no/such/out.bin\n" + kFailure, 1, {kSourceLine}},
    {"ImageNamedLikeAFolder", Who::kAnyone, "mkdir outdir", MIRVO_ASSEMBLER_PATH, {"p.asm", "outdir"},
     kOpening + "Error! Cannot write outdir\n" + kFailure, 1, {"outdir dir 0755", kSourceLine}},
    {"ReplacedFileKeepsItsMode", Who::kAnyone, "printf old > out.bin; chmod 640 out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0, {"out.bin file 0640 1 o replaced", kSourceLine}},
    {"FileOfAnotherOwner", Who::kRoot, "printf old > out.bin; chown 65534:65534 out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0,
     {"out.bin file 0644 1 o owner 65534:65534 replaced", kSourceLine}},
    // A group the user is in only as a supplementary group can be kept, so
    // the file is replaced, not written in place.
    {"FileOfASupplementaryGroup", Who::kInGroup, "printf old > out.bin; chown 65534:100 out.bin", MIRVO_ASSEMBLER_PATH,
     {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0,
     {"out.bin file 0644 1 o owner 65534:100 replaced", kSourceLine}},
    {"FileOfAGroupTheUserIsNotIn", Who::kInGroup, "printf old > out.bin; chown 65534:101 out.bin; chmod 666 out.bin",
     MIRVO_ASSEMBLER_PATH, {"p.asm", "out.bin"}, kOpening + kAssembled + "out.bin)\n", 0,
     {"out.bin file 0666 1 o owner 65534:101", kSourceLine}},
};

class OutputFileTest : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputFileTest, ConsoleExitCodeAndFolderAfterwards) {
  const OutputCase& c = GetParam();
  const bool root = ::geteuid() == 0;
  if ((c.who == Who::kRoot || c.who == Who::kInGroup) && !root) {
    GTEST_SKIP() << "device nodes and files of other owners need root";
  }
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
  } else if (c.who == Who::kInGroup) {
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--groups=100", program});
    program = "/usr/bin/setpriv";
  }
  std::map<std::string, ino_t> before;
  Inodes(dir.Path(), "", before);
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
  Describe(dir.Path(), "", fifoBytes, before, after);
  EXPECT_EQ(after, c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.id); });

// An output option of a program: its command line, with OUT where the output
// goes, the input it reads, and what the output is called in mirvo's refusal
// (MirvoVMAssembler, which has no role, says it in its own words).
struct OutputOption {
  const char* program;
  std::vector<std::string> args;
  const char* input;
  const char* role;
};

const OutputOption kOutputOptions[] = {
    {MIRVO_ASSEMBLER_PATH, {"p.asm", "OUT"}, "p.asm", nullptr},
#ifdef MIRVO_CLI_PATH
    {MIRVO_CLI_PATH, {"asm", "p.asm", "-o", "OUT"}, "p.asm", "image"},
    {MIRVO_CLI_PATH, {"asm", "p.asm", "--listing=OUT"}, "p.asm", "listing"},
    {MIRVO_CLI_PATH, {"run", "p.asm", "--trace=OUT"}, "p.asm", "trace"},
    {MIRVO_CLI_PATH, {"run", "p.bin", "--state-map=OUT"}, "p.bin", "state map"},
    {MIRVO_CLI_PATH, {"dis", "p.bin", "-o", "OUT"}, "p.bin", "disassembly"},
#endif
};

// A way to name the input: the shell commands that make the name, and the
// name with IN standing for the input's own name and DIR for the folder.
struct Spelling {
  const char* setup;
  const char* name;
};

const Spelling kSpellings[] = {
    {"", "IN"},
    {"", "./IN"},
    {"mkdir sub", "sub/../IN"},
    {"", "DIR/IN"},
    {"ln -s IN link", "link"},
    {"ln IN hard", "hard"},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Every output option, given each spelling of the input, is refused before
// anything is written: the input keeps its bytes and no file appears.
TEST(InputsAreNeverOutputsTest, EveryOutputOptionAndEverySpellingOfTheInput) {
  for (const OutputOption& option : kOutputOptions) {
    for (const Spelling& spelling : kSpellings) {
      ScratchDir dir;
      WriteFile(dir / "p.asm", kSource);
      WriteFile(dir / "p.bin", "o\xC9");
      const std::string setup = Replace(spelling.setup, "IN", option.input);
      ASSERT_EQ(RunProgram("/bin/sh", {"-c", setup}, dir.Path()).exitCode, 0) << setup;
      const std::string out = Replace(Replace(spelling.name, "IN", option.input), "DIR", dir.Path());
      std::vector<std::string> args = option.args;
      for (std::string& arg : args) arg = Replace(arg, "OUT", out);
      SCOPED_TRACE(option.args.front() + " " + args.back());
      std::map<std::string, ino_t> inodes;
      Inodes(dir.Path(), "", inodes);
      std::vector<std::string> before;
      Describe(dir.Path(), "", {}, inodes, before);

      const SplitResult result = RunProgramSplit(option.program, args, dir.Path());
      EXPECT_EQ(result.exitCode, 1);
      if (option.role == nullptr) {
        EXPECT_EQ(result.out, kAssemblerBanner + kOpening + "Error! The image " + out + " is the source file\n" + kFailure);
        EXPECT_EQ(result.err, "");
      } else {
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string("mirvo: the ") + option.role + " " + out + " is the input " + option.input +
                                  "; nothing was written\n");
      }
      std::vector<std::string> after;
      Describe(dir.Path(), "", {}, inodes, after);
      EXPECT_EQ(after, before);
    }
  }
}

#ifdef MIRVO_CLI_PATH
// True when process holds a file open under folder other than the one named
// input: the output it is writing, unnamed ("folder/#123 (deleted)") or not.
bool WritesUnder(pid_t process, const std::string& folder, const std::string& input) {
  const std::string fds = "/proc/" + std::to_string(process) + "/fd";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
    char target[4096];
    const ssize_t length = ::readlink(entry.path().c_str(), target, sizeof(target) - 1);
    if (length <= 0) continue;
    const std::string name(target, static_cast<std::size_t>(length));
    if (name.rfind(folder + "/", 0) == 0 && name != folder + "/" + input) return true;
  }
  return false;
}

// A command interrupted while it writes an output leaves no temporary file
// behind, even when killed outright, and still ends by the signal, as the
// shell expects.
TEST(InterruptedOutputTest, TheTemporaryFileGoesWithTheCommand) {
  // MVI B, 1h and 65534 ADD B: millions of steps, each a line of the trace.
  const std::string program = Bytes({0x06, 0x01}) + std::string(65534, '\x80');
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGKILL}) {
    SCOPED_TRACE(signal);
    ScratchDir dir;
    WriteFile(dir / "long.bin", program);
    const pid_t child = StartProgram(MIRVO_CLI_PATH, {"run", "long.bin", "--trace=t.txt"}, dir.Path());
    ASSERT_GT(child, 0);
    // Waits for the output being written, for at most ten seconds.
    const std::string folder = std::filesystem::canonical(dir.Path()).string();
    bool writing = false;
    for (int wait = 0; wait < 10000 && !writing; ++wait) {
      writing = WritesUnder(child, folder, "long.bin");
      if (!writing) ::usleep(1000);
    }
    ::kill(child, writing ? signal : SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(writing) << "t.txt was never opened";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"long.bin"});
  }
}
#endif

}  // namespace
}  // namespace mirvo::test
