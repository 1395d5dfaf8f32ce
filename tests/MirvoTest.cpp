// Runs the real mirvo in a scratch folder: for each subcommand a table of
// command lines and input files with the standard output, standard error,
// exit code and files they must produce. JSON is parsed and compared as data.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace mirvo::test {
namespace {

using Json = nlohmann::json;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kMirvo = MIRVO_CLI_PATH;
const std::string kExamples = MIRVO_EXAMPLES_DIR;

// sum.asm's image.
const std::string kSumImage = Bytes({0x3E, 0xF0, 0x06, 0x20, 0x80, 0x26, 0x10, 0x2E, 0x00, 0x77, 0x86, 0xB8, 0xC9});

struct Case {
  const char* name;
  std::vector<std::string> args;
  Files inputs;  // written into the scratch folder first
  int exitCode;
  std::string out;
  std::string err;
  Files outputs;                    // files that must then hold exactly these bytes
  std::vector<std::string> absent;  // files that must not exist
  std::string piped = {};           // standard input: a pipe that holds these bytes, when any
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) WriteFile(dir / name, bytes);
    const SplitResult result = c.piped.empty() ? RunProgramSplit(kMirvo, c.args, dir.Path())
                                               : RunProgramWithPipe(kMirvo, c.args, dir.Path(), c.piped);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    for (const auto& [name, bytes] : c.outputs) EXPECT_EQ(ReadFile(dir / name), bytes) << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(FileExists(dir / name)) << name;
  }
}

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(Json::parse(line));
  return lines;
}

const std::string kErrors = "MVI A, 5\nADD B, C\nMOV b, A\nMVI A, 100h\n";
const std::string kErrorsReport =
    "bad.asm:1:8: error: '5' is not a number: numbers end in a lower-case h, as in 5h\n"
    "MVI A, 5\n"
    "       ^\n"
    "       5h  fix: write 5h\n"
    "bad.asm:2:8: error: ADD takes one operand and got two\n"
    "ADD B, C\n"
    "       ^\n"
    "bad.asm:3:5: error: 'b' is not a register: register letters are upper case, write B\n"
    "MOV b, A\n"
    "    ^\n"
    "    B  fix: write B\n"
    "bad.asm:4:8: error: '100h' does not fit in a byte: numbers run from -80h to 0FFh\n"
    "MVI A, 100h\n"
    "       ^~~~\n"
    "4 errors generated.\n";

TEST(MirvoTest, Asm) {
  const std::string sum = ReadFile(kExamples + "/sum.asm");
  const std::string warned = "ADD 22h\n\tMOV A, B C\nRET\n";
  RunCases({
      {"clean source", {"asm", "sum.asm"}, {{"sum.asm", sum}}, 0, "", "", {{"sum.bin", kSumImage}}, {}},
      {"every error, no image", {"asm", "bad.asm"}, {{"bad.asm", kErrors}}, 1, "", kErrorsReport, {}, {"bad.bin"}},
      {"warnings keep the image",
       {"asm", "w.asm", "-o", "w.img"},
       {{"w.asm", warned}},
       0,
       "",
       "w.asm:1:5: warning: '22h' is read as Mem, the byte at address HL: a number cannot stand where ADD "
       "expects a register\nADD 22h\n    ^~~\nMVI C, 22h\nADD C  fix: load 22h into C, which the program does not use, "
       "then add C\n"
       "w.asm:2:11: warning: the rest of the line is ignored: MOV takes two operands\n\tMOV A, B C\n\t         ^\n"
       "\t        fix: remove the extra operand\n"
       "2 warnings generated.\n",
       {{"w.img", Bytes({0x86, 0x78, 0xC9})}},
       {"w.bin"}},
      {"listing to a file",
       {"asm", "--listing=l.txt", "--", "-p.asm"},
       {{"-p.asm", "; two\nMVI A, 0F0h ; load\n\nRET\n"}},
       0,
       "",
       "",
       {{"l.txt",
         "                 1  ; two\n"
         "0000  3E F0      2  MVI A, 0F0h ; load\n"
         "                 3  \n"
         "0002  C9         4  RET\n"},
        {"-p.bin", Bytes({0x3E, 0xF0, 0xC9})}},
       {}},
      {"--fix applies the sure fixes, then reports what is left",
       {"asm", "--fix", "f.asm"},
       {{"f.asm", "MOV b, M\nMVI A, 10\nADD 22h\nRET\n"}},
       1,
       "",
       "mirvo: f.asm: 3 fixes applied\n"
       "f.asm:2:8: error: '10' is not a number: numbers are hexadecimal and end in a lower-case h, as in 10h; "
       "decimal 10 is 0Ah\nMVI A, 10\n       ^~\n"
       "       0Ah  fix: write 0Ah, if decimal 10 was meant\n"
       "       10h  fix: write 10h, if hexadecimal 10 was meant\n"
       "1 error generated.\n",
       {{"f.asm", "MOV B, Mem\nMVI A, 10\nMVI C, 22h\nADD C\nRET\n"}},
       {"f.bin"}},
      {"--fix until the source is clean",
       {"asm", "--fix", "f.asm"},
       {{"f.asm", "MOV a, b, c\r\nRET\r\n"}},
       0,
       "",
       "mirvo: f.asm: 3 fixes applied\n",
       {{"f.asm", "MOV A, B\r\nRET\r\n"}, {"f.bin", Bytes({0x78, 0xC9})}},
       {}},
      {"--fix of a clean source leaves it alone",
       {"asm", "--fix", "sum.asm"},
       {{"sum.asm", sum}},
       0,
       "",
       "",
       {{"sum.asm", sum}, {"sum.bin", kSumImage}},
       {}},
      {"listing to standard output",
       {"asm", "p.asm", "--listing"},
       {{"p.asm", "RET\n"}},
       0,
       "0000  C9         1  RET\n",
       "",
       {},
       {}},
      {"unreadable source",
       {"asm", "no.asm"},
       {},
       1,
       "",
       "mirvo: cannot open no.asm: No such file or directory\n",
       {},
       {"no.bin"}},
      {"image would replace the source",
       {"asm", "p.bin"},
       {{"p.bin", "RET\n"}},
       1,
       "",
       "mirvo: the image p.bin is the input p.bin; nothing was written\n",
       {{"p.bin", "RET\n"}},
       {}},
      {"image into no folder",
       {"asm", "p.asm", "-o", "no/p.bin"},
       {{"p.asm", "RET\n"}},
       1,
       "",
       "mirvo: cannot create no/p.bin: No such file or directory\n",
       {},
       {}},
      {"a NUL byte is printed, not an end",
       {"asm", "n.asm"},
       {{"n.asm", std::string("MOV A\0x, b\nADD b\n", 17)}},
       1,
       "",
       "n.asm:1:1: error: MOV takes two operands and got one\n" + std::string("MOV A\0x, b\n", 11) +
           "^~~\n"
           "n.asm:2:5: error: 'b' is not a register: register letters are upper case, write B\nADD b\n    ^\n"
           "    B  fix: write B\n2 errors generated.\n",
       {},
       {"n.bin"}},
      {"source longer than any program",
       {"asm", "/dev/zero", "-o", "z.bin"},
       {},
       1,
       "",
       "mirvo: /dev/zero is larger than 16 MiB, longer than any program\n",
       {},
       {"z.bin"}},
      {"a source on a pipe",
       {"asm", "/dev/stdin", "-o", "p.bin"},
       {},
       0,
       "",
       "",
       {{"p.bin", Bytes({0x3E, 0x05, 0xC9})}},
       {},
       "MVI A, 5h\nRET\n"},
      {"no source",
       {"asm"},
       {},
       64,
       "",
       "mirvo: SOURCE is required\nTry 'mirvo asm --help' for more information.\n",
       {},
       {}},
      {"unknown option",
       {"asm", "p.asm", "--frob"},
       {},
       64,
       "",
       "mirvo: The following argument was not expected: --frob\nTry 'mirvo asm --help' for more information.\n",
       {},
       {}},
      // A byte-order mark takes no room on the terminal: carets stand under
      // what follows it, though columns count its three bytes.
      {"a byte-order mark is skipped with a warning",
       {"asm", "m.asm"},
       {{"m.asm", "\xEF\xBB\xBFMVI A, 5\nRET\n"}},
       1,
       "",
       "m.asm:1:1: warning: the text starts with a UTF-8 byte-order mark, which is skipped: UTF-8 needs none\n"
       "MVI A, 5\n^\nfix: remove the byte-order mark\n"
       "m.asm:1:11: error: '5' is not a number: numbers end in a lower-case h, as in 5h\nMVI A, 5\n       ^\n"
       "       5h  fix: write 5h\n1 error, 1 warning generated.\n",
       {},
       {"m.bin"}},
      {"... and removed by --fix",
       {"asm", "--fix", "m.asm"},
       {{"m.asm", "\xEF\xBB\xBFRET\n"}},
       0,
       "",
       "mirvo: m.asm: 1 fix applied\n",
       {{"m.asm", "RET\n"}, {"m.bin", Bytes({0xC9})}},
       {}},
      {"UTF-16 is named",
       {"run", "u"},
       {{"u", std::string("\xFF\xFER\0E\0T\0\n\0", 10)}},
       1,
       "",
       "u:1: error: the text is UTF-16, which cannot be read: save it as UTF-8\n1 error generated.\n",
       {},
       {}},
      {"fmt keeps the mark and warns",
       {"fmt", "m.asm"},
       {{"m.asm", "\xEF\xBB\xBFret ;x\n"}},
       0,
       "",
       "m.asm:1:1: warning: the text starts with a UTF-8 byte-order mark, which is skipped: UTF-8 needs none\n"
       "ret ;x\n^\n",
       {{"m.asm", "\xEF\xBB\xBFRET             ;x\n"}},
       {}},
  });
}

// Standard error is a terminal under script(1): colour, unless NO_COLOR.
TEST(MirvoTest, AsmColourOnlyOnATerminalWithoutNoColor) {
  const std::string script = "/usr/bin/script";
  if (!FileExists(script)) GTEST_SKIP() << "script(1) is not installed";
  ScratchDir dir;
  WriteFile(dir / "bad.asm", "ADD b\n");
  const std::string command = "'" + kMirvo + "' asm bad.asm";
  const ProcessResult coloured = RunProgram(script, {"-qec", "env -u NO_COLOR " + command, "/dev/null"}, dir.Path());
  EXPECT_EQ(coloured.exitCode, 1);
  EXPECT_NE(coloured.output.find("\033[1;31merror:\033[0m"), std::string::npos) << coloured.output;
  const ProcessResult plain = RunProgram(script, {"-qec", "env NO_COLOR=1 " + command, "/dev/null"}, dir.Path());
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_EQ(plain.output.find('\033'), std::string::npos) << plain.output;
  EXPECT_NE(plain.output.find("bad.asm:1:5: error: 'b' is not a register"), std::string::npos) << plain.output;
}

TEST(MirvoTest, AsmJson) {
  ScratchDir dir;
  WriteFile(dir / "bad.asm", "MVI A, 5\nADD 22h\nRET\n");
  SplitResult result = RunProgramSplit(kMirvo, {"asm", "--json", "bad.asm"}, dir.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(Json::parse(result.out), Json::parse(R"({"image": null, "length": 2,
      "statements": [{"line": 2, "column": 1, "address": 0, "bytes": [134]},
                     {"line": 3, "column": 1, "address": 1, "bytes": [201]}],
      "diagnostics": [
        {"severity": "error", "code": "not-a-number", "line": 1, "column": 8, "length": 1,
         "message": "'5' is not a number: numbers end in a lower-case h, as in 5h",
         "fixes": [{"line": 1, "column": 8, "length": 1, "text": "5h", "title": "write 5h"}]},
        {"severity": "warning", "code": "number-read-as-mem", "line": 2, "column": 5, "length": 3,
         "message": "'22h' is read as Mem, the byte at address HL: a number cannot stand where ADD expects a register",
         "fixes": [{"line": 2, "column": 1, "length": 7, "text": "MVI B, 22h\nADD B",
                    "title": "load 22h into B, which the program does not use, then add B"}]}]})"));
  EXPECT_FALSE(FileExists(dir / "bad.bin"));

  WriteFile(dir / "ok.asm", "MVI A, 0F0h\nRET\n");
  result = RunProgramSplit(kMirvo, {"asm", "ok.asm", "--json"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0);
  const Json report = Json::parse(result.out);
  EXPECT_EQ(report["image"], "ok.bin");
  EXPECT_EQ(report["length"], 3);
  EXPECT_EQ(report["statements"][0]["bytes"], Json::parse("[62, 240]"));
  EXPECT_EQ(report["diagnostics"], Json::array());
}

const std::string kSumSummary =
    "Outcome:   halted by the RET at 000Ch\n"
    "Steps:     9\n"
    "Registers: A 20h (32)   B 20h (32)   C 00h (0)    D 00h (0)\n"
    "           E 00h (0)    H 10h (16)   L 00h (0)\n"
    "Flags:     S=0 Z=1 AC=0 P=0 CY=0\n"
    "PC:        000Ch (12)\n"
    "SP:        FFFFh (65535)\n"
    "Memory:    1 byte changed (address: before -> after)\n"
    "  1000h: 00h -> 10h\n";

// The part of a summary after its outcome and step lines, for a machine that
// changed nothing: all registers and flags 0.
std::string UntouchedTail(unsigned pc, unsigned memoryChanges) {
  char pcLine[64];
  std::snprintf(pcLine, sizeof(pcLine), "PC:        %04Xh (%u)\n", pc, pc);
  return std::string(
             "Registers: A 00h (0)    B 00h (0)    C 00h (0)    D 00h (0)\n"
             "           E 00h (0)    H 00h (0)    L 00h (0)\n"
             "Flags:     S=0 Z=0 AC=0 P=0 CY=0\n") +
         pcLine + "SP:        FFFFh (65535)\n" + (memoryChanges == 0 ? "Memory:    no byte changed\n" : "");
}

TEST(MirvoTest, Run) {
  const std::string sum = ReadFile(kExamples + "/sum.asm");
  RunCases({
      // An image has no comments to say that its wrap is meant.
      {"image halts",
       {"run", "sum.bin"},
       {{"sum.bin", kSumImage}},
       0,
       kSumSummary,
       "sum.bin: warning: ADD B wraps past FFh: 0F0h + 20h = 110h, kept as 10h; the carry is lost and no flag "
       "shows it [-Wcarry-lost]\n",
       {},
       {"MirvoVMStateMap.txt"}},
      {"source is assembled first", {"run", "sum.asm"}, {{"sum.asm", sum}}, 0, kSumSummary, "", {}, {"sum.bin"}},
      {"undefined byte",
       {"run", "u.bin", "-Wno-checks"},
       {{"u.bin", Bytes({0x40, 0xD3})}},
       2,
       "Outcome:   stopped: the byte 0D3h at 0001h is no instruction\nSteps:     2\n" + UntouchedTail(1, 0),
       "",
       {},
       {}},
      {"step limit",
       {"run", "--max-steps", "3", "l.bin", "-Wno-unset-read"},
       {{"l.bin", std::string(10, '\x40')}},
       2,
       "Outcome:   stopped: no RET within the step limit of 3 steps\nSteps:     3\n" + UntouchedTail(3, 0),
       "",
       {},
       {}},
      {"endless",
       {"run", "e.bin", "-Wno-checks"},
       {{"e.bin", std::string(65536, '\x40')}},
       2,
       "Outcome:   loops forever without a RET: after wrap 1 of the program counter the machine is in the state it "
       "had at the start\nSteps:     65536\n" +
           UntouchedTail(0, 0),
       "",
       {},
       {}},
      {"trace to a file, every byte in one notation",
       {"run", "t.asm", "--trace=t.txt"},
       {{"t.asm", "MVI H, 10h\nMVI Mem, 0F7h\nADD Mem\nRET\n"}},
       0,
       "Outcome:   halted by the RET at 0005h\nSteps:     4\n"
       "Registers: A 0F7h (247)  B 00h (0)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 10h (16)   L 00h (0)\n"
       "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0005h (5)\nSP:        FFFFh (65535)\n"
       "Memory:    1 byte changed (address: before -> after)\n  1000h: 00h -> 0F7h\n",
       "t.asm:3:1: warning: ADD Mem reads A, which was never set: it holds the reset value 00h [-Wunset-read]\n"
       "ADD Mem\n^~~\n",
       {{"t.txt",
         "       1  0000  26 10  MVI H, 10h      H 00h->10h\n"
         "       2  0002  36 F7  MVI Mem, 0F7h   [1000h] 00h->0F7h\n"
         "       3  0004  86     ADD Mem         [1000h] = 0F7h, A 00h->0F7h\n"
         "       4  0005  C9     RET             nothing changed\n"}},
       {}},
      {"trace does not take the file name",
       {"run", "--trace", "c.bin", "-Wno-checks"},
       {{"c.bin", Bytes({0xB8, 0xC9})}},
       0,
       "       1  0000  B8     CMP B           Z 0->1\n       2  0001  C9     RET             nothing changed\n"
       "Outcome:   halted by the RET at 0001h\nSteps:     2\n"
       "Registers: A 00h (0)    B 00h (0)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 00h (0)    L 00h (0)\n"
       "Flags:     S=0 Z=1 AC=0 P=0 CY=0\nPC:        0001h (1)\nSP:        FFFFh (65535)\nMemory:    no byte changed\n",
       "",
       {},
       {}},
      {"source errors", {"run", "bad.asm"}, {{"bad.asm", kErrors}}, 1, "", kErrorsReport, {}, {}},
      {"source warnings do not stop the run",
       {"run", "w.asm", "-Wno-hl-unset"},
       {{"w.asm", "MOV Mem, Mem\nRET\n"}},
       0,
       "Outcome:   halted by the RET at 0001h\nSteps:     2\n" + UntouchedTail(1, 0),
       "w.asm:1:1: warning: MOV Mem, Mem copies the byte at HL onto itself and changes nothing visible\n"
       "MOV Mem, Mem\n^~~\n1 warning generated.\n",
       {},
       {}},
      {"a source on a pipe, read once",
       {"run", "/dev/stdin"},
       {},
       0,
       "Outcome:   halted by the RET at 0002h\nSteps:     2\n"
       "Registers: A 05h (5)    B 00h (0)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 00h (0)    L 00h (0)\n"
       "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0002h (2)\nSP:        FFFFh (65535)\nMemory:    no byte changed\n",
       "",
       {},
       {},
       "MVI A, 5h\nRET\n"},
      {"an image on a pipe",
       {"run", "/dev/stdin"},
       {},
       0,
       kSumSummary,
       "/dev/stdin: warning: ADD B wraps past FFh: 0F0h + 20h = 110h, kept as 10h; the carry is lost and no flag "
       "shows it [-Wcarry-lost]\n",
       {},
       {},
       kSumImage},
      {"missing image", {"run", "no.bin"}, {}, 1, "", "mirvo: cannot open no.bin\n", {}, {}},
      {"too large",
       {"run", "big.bin"},
       {{"big.bin", std::string(65537, '\xC9')}},
       1,
       "",
       "mirvo: big.bin is larger than 65536 bytes\n",
       {},
       {}},
      {"from a given state",
       {"run", "g.asm", "--given", "B=5h [1000h]=7h, 8h"},
       {{"g.asm", "MVI H, 10h\nMOV A, Mem\nADD B\nMOV Mem, A\nRET\n"}},
       0,
       "Outcome:   halted by the RET at 0005h\nSteps:     5\n"
       "Registers: A 0Ch (12)   B 05h (5)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 10h (16)   L 00h (0)\n"
       "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0005h (5)\nSP:        FFFFh (65535)\n"
       "Memory:    1 byte changed (address: before -> after)\n  1000h: 07h -> 0Ch\n",
       "",
       {},
       {}},
      {"a given byte inside the program",
       {"run", "g.bin", "--given", "[1h]=0"},
       {{"g.bin", Bytes({0x3E, 0x05, 0xC9})}},
       1,
       "",
       "mirvo: the given byte [0001h] falls inside the program, which fills 0000h to 0002h\n",
       {},
       {}},
      {"a bad given state",
       {"run", "g.bin", "--given", "PC=1"},
       {},
       64,
       "",
       "mirvo: --given: 'PC=1': PC cannot be given: every run starts at 0000h\n"
       "Try 'mirvo run --help' for more information.\n",
       {},
       {}},
      // A source is known by its extension in any case, or by its content;
      // --as decides otherwise.
      {"a source by its content",
       {"run", "lab1.asm.txt"},
       {{"lab1.asm.txt", "RET\n"}},
       0,
       "Outcome:   halted by the RET at 0000h\nSteps:     1\n" + UntouchedTail(0, 0),
       "",
       {},
       {}},
      {"a source by its extension",
       {"run", "LAB1.ASM"},
       {{"LAB1.ASM", "RET\n"}},
       0,
       "Outcome:   halted by the RET at 0000h\nSteps:     1\n" + UntouchedTail(0, 0),
       "",
       {},
       {}},
      {"text run as an image",
       {"run", "--as", "image", "r.txt", "-Wno-checks"},
       {{"r.txt", "RET\n"}},
       2,
       "Outcome:   stopped: the byte 0Ah at 0003h is no instruction\nSteps:     4\n"
       "Registers: A 00h (0)    B 00h (0)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 00h (0)    L 00h (0)\n"
       "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0003h (3)\nSP:        FFFFh (65535)\nMemory:    no byte changed\n",
       "",
       {},
       {}},
      {"trace cut at its limit",
       {"run", "--trace", "--trace-limit", "2", "c.bin", "-Wno-checks"},
       {{"c.bin", Bytes({0xB8, 0xB8, 0xC9})}},
       0,
       "       1  0000  B8     CMP B           Z 0->1\n       2  0001  B8     CMP B           nothing changed\n"
       "--- the trace stops here, at its limit of 2 lines (--trace-limit N); the run goes on\n"
       "Outcome:   halted by the RET at 0002h\nSteps:     3\n"
       "Registers: A 00h (0)    B 00h (0)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 00h (0)    L 00h (0)\n"
       "Flags:     S=0 Z=1 AC=0 P=0 CY=0\nPC:        0002h (2)\nSP:        FFFFh (65535)\nMemory:    no byte changed\n",
       "",
       {},
       {}},
      {"trace that cannot be written",
       {"run", "sum.bin", "--trace=/dev/full", "-Wno-checks"},
       {{"sum.bin", kSumImage}},
       1,
       kSumSummary,
       "mirvo: cannot write /dev/full: No space left on device\n",
       {},
       {}},
      {"state map into no folder, after a verdict",
       {"run", "u.bin", "--state-map=no/m.txt", "--trace=t.txt"},
       {{"u.bin", Bytes({0xD3})}},
       1,
       "Outcome:   stopped: the byte 0D3h at 0000h is no instruction\nSteps:     1\n" + UntouchedTail(0, 0),
       "mirvo: cannot write no/m.txt: No such file or directory\n",
       {},
       {}},
      {"verdict with a trace and a state map",
       {"run", "u.bin", "--state-map=m.txt", "--trace=t.txt"},
       {{"u.bin", Bytes({0xD3})}},
       2,
       "Outcome:   stopped: the byte 0D3h at 0000h is no instruction\nSteps:     1\n" + UntouchedTail(0, 0),
       "",
       {{"t.txt", "       1  0000  D3     0D3h (no instruction)  nothing changed\n"}},
       {}},
      {"unknown option before a missing file",
       {"run", "-x"},
       {},
       64,
       "",
       "mirvo: The following argument was not expected: -x\nTry 'mirvo run --help' for more information.\n",
       {},
       {}},
      {"step limit out of range",
       {"run", "x.bin", "--max-steps", "0"},
       {},
       64,
       "",
       "mirvo: --max-steps: Value 0 not in range 1 to 1073741824\nTry 'mirvo run --help' for more information.\n",
       {},
       {}},
  });
}

TEST(MirvoTest, RunStateMapMatchesTheVirtualMachine) {
  const std::vector<std::string> images = {kSumImage, Bytes({0x3E, 0x05, 0xD3}), std::string(65536, '\x40'), ""};
  for (const std::string& image : images) {
    ScratchDir dir;
    WriteFile(dir / "p.bin", image);
    const ProcessResult vm = RunProgram(MIRVO_VM_PATH, {"p.bin"}, dir.Path());
    const SplitResult mirvo = RunProgramSplit(kMirvo, {"run", "p.bin", "--state-map=mine.txt"}, dir.Path());
    EXPECT_EQ(mirvo.exitCode, vm.exitCode);
    EXPECT_EQ(ReadFile(dir / "mine.txt"), ReadFile(dir / "MirvoVMStateMap.txt"));
    EXPECT_EQ(RunProgramSplit(kMirvo, {"run", "--state-map", "p.bin"}, dir.Path()).exitCode, vm.exitCode);
    EXPECT_EQ(ReadFile(dir / "mine.txt"), ReadFile(dir / "MirvoVMStateMap.txt"));
  }
}

TEST(MirvoTest, RunJsonWithTrace) {
  ScratchDir dir;
  WriteFile(dir / "p.bin", Bytes({0x26, 0x10, 0x3E, 0xF0, 0x77, 0x86, 0xC9}));
  const SplitResult result = RunProgramSplit(kMirvo, {"run", "--json", "--trace", "p.bin"}, dir.Path());
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  const std::vector<Json> lines = JsonLines(result.out);
  const std::vector<Json> expected = {
      Json::parse(R"({"step":1,"pc":0,"bytes":[38,16],"text":"MVI H, 10h","changes":{"H":{"before":0,"after":16}}})"),
      Json::parse(
          R"({"step":2,"pc":2,"bytes":[62,240],"text":"MVI A, 0F0h","changes":{"A":{"before":0,"after":240}}})"),
      Json::parse(R"({"step":3,"pc":4,"bytes":[119],"text":"MOV Mem, A",
                      "changes":{"memory":{"address":4096,"before":0,"after":240}}})"),
      Json::parse(R"({"step":4,"pc":5,"bytes":[134],"text":"ADD Mem","read":{"address":4096,"value":240},
                      "changes":{"A":{"before":240,"after":224},"CY":{"before":0,"after":1}}})"),
      Json::parse(R"({"step":5,"pc":6,"bytes":[201],"text":"RET","changes":{}})"),
      Json::parse(R"({"outcome":"halt","steps":5,"registers":{"A":224,"B":0,"C":0,"D":0,"E":0,"H":16,"L":0},
                      "flags":{"S":0,"Z":0,"AC":0,"P":0,"CY":1},"pc":6,"sp":65535,
                      "changed":[{"address":4096,"before":0,"after":240}],"checks":[]})"),
  };
  EXPECT_EQ(lines, expected);
}

TEST(MirvoTest, Dis) {
  RunCases({
      {"image",
       {"dis", "sum.bin"},
       {{"sum.bin", kSumImage}},
       0,
       "; sum.bin: 13 bytes, one statement per instruction\n"
       "MVI A, 0F0h     ; 0000  3E F0\nMVI B, 20h      ; 0002  06 20\nADD B           ; 0004  80\n"
       "MVI H, 10h      ; 0005  26 10\nMVI L, 00h      ; 0007  2E 00\nMOV Mem, A      ; 0009  77\n"
       "ADD Mem         ; 000A  86\nCMP B           ; 000B  B8\nRET             ; 000C  C9\n",
       "",
       {},
       {}},
      {"bytes that cannot be written",
       {"dis", "-o", "odd.asm", "odd.bin"},
       {{"odd.bin", Bytes({0x76, 0x00, 0xD3, 0x78, 0x10, 0x3E})}},
       1,
       "",
       "mirvo: warning: odd.bin: the bytes at 0001h to 0002h are no instructions; they are left as comments\n"
       "mirvo: warning: odd.bin: the byte at 0004h is no instruction; it is left as a comment\n"
       "mirvo: warning: odd.bin: the MVI at 0005h is cut off by the end of the image; it is left as a comment\n",
       {{"odd.asm",
         "; odd.bin: 6 bytes, one statement per instruction\n"
         "MOV Mem, Mem    ; 0000  76\n"
         "; 0001  00  00h (no instruction): cannot be written as a statement\n"
         "; 0002  D3  0D3h (no instruction): cannot be written as a statement\n"
         "MOV A, B        ; 0003  78\n"
         "; 0004  10  10h (no instruction): cannot be written as a statement\n"
         "; 0005  3E  (MVI A, ?) is cut off: the image ends before its number\n"}},
       {}},
      {"disassembly into no folder",
       {"dis", "e.bin", "-o", "no/e.asm"},
       {{"e.bin", ""}},
       1,
       "",
       "mirvo: cannot create no/e.asm: No such file or directory\n",
       {},
       {}},
      {"empty image",
       {"dis", "e.bin"},
       {{"e.bin", ""}},
       0,
       "; e.bin: 0 bytes, one statement per instruction\n",
       "",
       {},
       {}},
      {"an image on a pipe",
       {"dis", "/dev/stdin"},
       {},
       0,
       "; /dev/stdin: 3 bytes, one statement per instruction\nMVI A, 05h      ; 0000  3E 05\nRET             ; 0002  "
       "C9\n",
       "",
       {},
       {},
       Bytes({0x3E, 0x05, 0xC9})},
      {"a source on a pipe",
       {"dis", "/dev/stdin"},
       {},
       0,
       "; /dev/stdin: 1 byte, one statement per instruction\nRET             ; 0000  C9\n",
       "",
       {},
       {},
       "RET\n"},
      {"missing image", {"dis", "no.bin"}, {}, 1, "", "mirvo: cannot open no.bin\n", {}, {}},
  });
}

// Every instruction, with immediates of every shape, comes back byte for
// byte through the disassembly and the original assembler.
TEST(MirvoTest, DisReassemblesToTheImage) {
  std::string image;
  for (unsigned opcode = 0; opcode < 256; ++opcode) {
    const auto byte = static_cast<std::uint8_t>(opcode);
    if ((opcode & 0xC7) == 0x06) {
      for (const unsigned immediate : {0x00U, 0x05U, 0x0AU, 0x7FU, 0x80U, 0xF0U, 0xFFU}) {
        image += static_cast<char>(byte);
        image += static_cast<char>(immediate);
      }
    } else if ((opcode & 0xC0) == 0x40 || (opcode & 0xF8) == 0x80 || (opcode & 0xF8) == 0xB8 || opcode == 0xC9) {
      image += static_cast<char>(byte);
    }
  }
  ScratchDir dir;
  WriteFile(dir / "all.bin", image);
  const SplitResult dis = RunProgramSplit(kMirvo, {"dis", "all.bin", "-o", "all.asm"}, dir.Path());
  ASSERT_EQ(dis.exitCode, 0) << dis.err;
  const ProcessResult assembled = RunProgram(MIRVO_ASSEMBLER_PATH, {"all.asm", "again.bin"}, dir.Path());
  EXPECT_EQ(assembled.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "again.bin"), image);
}

TEST(MirvoTest, Check) {
  const std::string sum = ReadFile(kExamples + "/sum.asm");
  const std::string expect = "A=20h B=0x20h Z=1 CY=0 PC=0Ch [1000h]=10h halt";
  const Files submissions = {
      {"good.asm", sum}, {"good.bin", kSumImage}, {"wrong.bin", Bytes({0x3E, 0x05, 0xD3})}, {"bad.asm", kErrors}};
  RunCases({
      {"pass and fail",
       {"check", "good.asm", "good.bin", "wrong.bin", "bad.asm", "none.bin", "--expect", expect},
       submissions,
       1,
       "PASS good.asm\nPASS good.bin\n"
       "FAIL wrong.bin: A is 05h, expected 20h; B is 00h, expected 20h; Z is 0, expected 1; PC is 0002h, expected "
       "000Ch; [1000h] is 00h, expected 10h; outcome is undefined-opcode, expected halt\n"
       "FAIL bad.asm: 1:8: error: '5' is not a number: numbers end in a lower-case h, as in 5h\n"
       "FAIL none.bin: cannot open none.bin: No such file or directory\n"
       "2 passed, 3 failed\n",
       "",
       {},
       {}},
      {"expectations from a file",
       {"check", "--expect-file", "e.txt", "good.bin", "wrong.bin"},
       {{"good.bin", kSumImage},
        {"wrong.bin", Bytes({0x3E, 0x05, 0xD3})},
        {"e.txt", "; after sum.asm\nA=20h ; the sum\nundefined-opcode PC=2\n"}},
       1,
       "FAIL good.bin: outcome is halt, expected undefined-opcode; PC is 000Ch, expected 0002h\n"
       "FAIL wrong.bin: A is 05h, expected 20h\n0 passed, 2 failed\n",
       "",
       {},
       {}},
      {"a source in UTF-16 among others: its error has no column",
       {"check", "u.asm", "good.bin", "--expect", "A=20h"},
       {{"good.bin", kSumImage},
        {"u.asm",
         "\xFF\xFE"
         "R"}},
       1,
       "FAIL u.asm: 1: error: the text is UTF-16, which cannot be read: save it as UTF-8\nPASS good.bin\n"
       "1 passed, 1 failed\n",
       "",
       {},
       {}},
      {"expectations after a byte-order mark",
       {"check", "--expect-file", "e.txt", "good.bin"},
       {{"good.bin", kSumImage},
        {"e.txt",
         "\xEF\xBB\xBF"
         "A=20h\n"}},
       0,
       "PASS good.bin\n1 passed, 0 failed\n",
       "e.txt:1:1: warning: the text starts with a UTF-8 byte-order mark, which is skipped: UTF-8 needs none\n",
       {},
       {}},
      {"expectations in UTF-16",
       {"check", "--expect-file", "e.txt", "good.bin"},
       {{"good.bin", kSumImage},
        {"e.txt",
         "\xFF\xFE"
         "A"}},
       64,
       "",
       "e.txt:1:1: error: the text is UTF-16, which cannot be read: save it as UTF-8\n",
       {},
       {}},
      {"a source longer than any program among others",
       {"check", "good.bin", "big.asm", "good.asm", "--expect", expect},
       {{"good.bin", kSumImage}, {"big.asm", std::string((std::size_t{16} << 20) + 1, ' ')}, {"good.asm", sum}},
       1,
       "PASS good.bin\nFAIL big.asm: big.asm is larger than 16 MiB, longer than any program\nPASS good.asm\n"
       "2 passed, 1 failed\n",
       "",
       {},
       {}},
      {"all pass",
       {"check", "good.bin", "--expect", "sp=0FFFFh"},
       {{"good.bin", kSumImage}},
       0,
       "PASS good.bin\n1 passed, 0 failed\n",
       "",
       {},
       {}},
      {"a source on a pipe",
       {"check", "/dev/stdin", "--expect", expect},
       {},
       0,
       "PASS /dev/stdin\n1 passed, 0 failed\n",
       "",
       {},
       {},
       sum},
      {"an image on a pipe",
       {"check", "/dev/stdin", "--expect", expect},
       {},
       0,
       "PASS /dev/stdin\n1 passed, 0 failed\n",
       "",
       {},
       {},
       kSumImage},
      {"bad expectation",
       {"check", "good.bin", "--expect", "A=20h Q=1"},
       {},
       64,
       "",
       "mirvo: --expect: 'Q=1': 'Q' is none of the registers A B C D E H L, the flags S Z AC P CY, PC, SP or "
       "[ADDRESS]\nTry 'mirvo check --help' for more information.\n",
       {},
       {}},
      {"address out of range",
       {"check", "good.bin", "--expect", "[10000h]=1"},
       {},
       64,
       "",
       "mirvo: --expect: '[10000h]=1': the address in brackets must be a number from 0 to 0FFFFh, such as [1000h]\n"
       "Try 'mirvo check --help' for more information.\n",
       {},
       {}},
      {"value out of range",
       {"check", "good.bin", "--expect", "Z=2"},
       {},
       64,
       "",
       "mirvo: --expect: 'Z=2': the value must be 0 or 1\n"
       "Try 'mirvo check --help' for more information.\n",
       {},
       {}},
      {"no expectations",
       {"check", "good.bin"},
       {},
       64,
       "",
       "mirvo: --expect or --expect-file is required\nTry 'mirvo check --help' for more information.\n",
       {},
       {}},
  });
}

TEST(MirvoTest, CheckJson) {
  ScratchDir dir;
  WriteFile(dir / "good.bin", kSumImage);
  WriteFile(dir / "bad.asm", "RET x\n");
  const SplitResult result = RunProgramSplit(
      kMirvo, {"check", "--json", "--expect", "A=20h Z=0 loops-forever", "good.bin", "bad.asm"}, dir.Path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(JsonLines(result.out), (std::vector<Json>{Json::parse(R"({"file":"good.bin","pass":false,"mismatches":[
                                   {"what":"Z","expected":0,"actual":1,"text":"Z is 1, expected 0"},
                                   {"what":"outcome","expected":"loops-forever","actual":"halt",
                                    "text":"outcome is halt, expected loops-forever"}]})"),
                                                      Json::parse(R"({"file":"bad.asm","pass":false,"mismatches":[
                                   {"what":"source","expected":"no errors",
                                    "actual":"1:5: error: RET takes no operand and got one"}]})")}));
}

// The text report and the exit codes of mirvo test; every format read back
// by its own reader is in grading_test.py.
TEST(MirvoTest, TestAndLink) {
  const std::string exercise =
      "title = \"Copy\"\ntext = \"Copy B into A.\"\n[[case]]\nname = \"seven\"\ngiven = \"B=7\"\nexpect = \"A=7\"\n"
      "[[case]]\nname = \"zero\"\ngiven = \"A=1\"\nexpect = \"A=0\"\nhidden = true\n";
  const Files inputs = {{"ex.toml", exercise}, {"ok.asm", "MOV A, B\nRET\n"}, {"no.asm", "MVI A, 7h\nRET\n"}};
  RunCases({
      {"all full marks",
       {"test", "ex.toml", "ok.asm"},
       inputs,
       0,
       "PASS ok.asm (2/2)\n1 passed, 0 failed\n",
       "",
       {},
       {}},
      {"a failure, hidden and shown",
       {"test", "ex.toml", "no.asm", "ok.asm", "-o", "r.txt"},
       inputs,
       1,
       "",
       "",
       {{"r.txt", "FAIL no.asm (1/2)\n  case 2 (hidden) failed\nPASS ok.asm (2/2)\n1 passed, 1 failed\n"}},
       {}},
      {"each case's run-time checks in the feedback",
       {"test", "ex.toml", "w.asm", "--show-hidden"},
       {{"ex.toml", exercise}, {"w.asm", "MOV A, B\nADD C\nRET\n"}},
       0,
       "PASS w.asm (2/2)\n"
       "  seven: warning: line 2: ADD C reads C, which was never set: it holds the reset value 00h [-Wunset-read]\n"
       "  zero: warning: line 1: MOV A, B reads B, which was never set: it holds the reset value 00h [-Wunset-read]\n"
       "  zero: warning: line 2: ADD C reads C, which was never set: it holds the reset value 00h [-Wunset-read]\n"
       "1 passed, 0 failed\n",
       "",
       {},
       {}},
      {"--show-hidden",
       {"test", "ex.toml", "no.asm", "--show-hidden"},
       inputs,
       1,
       "FAIL no.asm (1/2)\n  zero: A is 07h, expected 00h\n0 passed, 1 failed\n",
       "",
       {},
       {}},
      {"the report never replaces an input",
       {"test", "ex.toml", "ok.asm", "-o", "./ok.asm"},
       inputs,
       1,
       "",
       "mirvo: the report ./ok.asm is the input ok.asm; nothing was written\n",
       {{"ok.asm", "MOV A, B\nRET\n"}},
       {}},
      {"a mistake in the exercise file",
       {"test", "bad.toml", "ok.asm"},
       {{"bad.toml", "title = \"t\"\ntext = \"x\"\n[[case]]\nname = \"a\"\nexpect = \"A=1 PC=10000h\"\n"}},
       64,
       "",
       "bad.toml:5:18: error: 'expect': 'PC=10000h': the value must be a number from 0 to 0FFFFh, such as 0Ah, 10h or "
       "0x1Ah\n",
       {},
       {}},
      {"an empty folder",
       {"test", "ex.toml", "."},
       {{"ex.toml", exercise}},
       64,
       "",
       "mirvo: skipped ./ex.toml: the exercise file\nmirvo: no programs to grade\n"
       "Try 'mirvo test --help' for more information.\n",
       {},
       {}},
      {"--pick without students",
       {"test", "ex.toml", "ok.asm", "--pick", "*.asm"},
       inputs,
       64,
       "",
       "mirvo: --pick chooses among a student's programs: it needs --by-folder or --format gradescope\n"
       "Try 'mirvo test --help' for more information.\n",
       {},
       {}},
      {"an unknown format",
       {"test", "ex.toml", "ok.asm", "--format", "xml"},
       inputs,
       64,
       "",
       "mirvo: --format: 'xml' is none of csv|gradescope|html|json|junit|tap|text\n"
       "Try 'mirvo test --help' for more information.\n",
       {},
       {}},
      // Links hold the file's text in base64url: "RET\n" is UkVUCg.
      {"a source's link",
       {"link", "p.asm"},
       {{"p.asm", "RET\n"}},
       0,
       "http://127.0.0.1:8080/#src=UkVUCg\n",
       "",
       {},
       {}},
      // A learner's link: title = "Copy", text = "Copy B into A.", hidden_cases = 1, then the case "seven".
      {"an exercise's link",
       {"link", "ex.toml", "--base", "https://example.org/mirvo/"},
       {{"ex.toml", exercise}},
       0,
       "https://example.org/mirvo/#ex=dGl0bGUgPSAiQ29weSIKdGV4dCA9ICJDb3B5IEIgaW50byBBLiIKaGlkZGVuX2Nhc2VzID0g"
       "MQoKW1tjYXNlXV0KbmFtZSA9ICJzZXZlbiIKZ2l2ZW4gPSAiQj03IgpleHBlY3QgPSAiQT03Igo\n",
       "",
       {},
       {}},
      {"the teacher's link, the file as it is",
       {"link", "--with-hidden", "ex.toml", "--base", "https://example.org/mirvo/"},
       {{"ex.toml", exercise}},
       0,
       "https://example.org/mirvo/"
       "#ex=dGl0bGUgPSAiQ29weSIKdGV4dCA9ICJDb3B5IEIgaW50byBBLiIKW1tjYXNlXV0KbmFtZSA9ICJzZXZlbiIK"
       "Z2l2ZW4gPSAiQj03IgpleHBlY3QgPSAiQT03IgpbW2Nhc2VdXQpuYW1lID0gInplcm8iCmdpdmVuID0gIkE9MSIKZXhwZWN0ID0gIkE9MCIKaGl"
       "k"
       "ZGVuID0gdHJ1ZQo\n",
       "",
       {},
       {}},
      {"no link to a broken exercise",
       {"link", "e.toml"},
       {{"e.toml", "title = 1\ntext = \"x\"\n[[case]]\nname = \"a\"\nexpect = \"A=1\"\n"}},
       64,
       "",
       "e.toml:1:9: error: 'title' must be a string in quotes\n",
       {},
       {}},
  });
}

// mirvo test --validate: the exercise against the programs it carries.
TEST(MirvoTest, Validate) {
  const std::string cases =
      "[[case]]\nname = \"seven\"\ngiven = \"B=7\"\nexpect = \"A=7\"\n"
      "[[case]]\nname = \"zero\"\ngiven = \"A=1\"\nexpect = \"A=0\"\nhidden = true\n";
  const std::string head = "title = \"Copy\"\ntext = \"Copy B into A.\"\n";
  const std::string good = head + "solution = \"MOV A, B\\nRET\"\n" + cases +
                           "[[wrong]]\nname = \"constant\"\nsource = \"MVI A, 7h\\nRET\"\n";
  const std::string bad = head + "solution = \"RET\"\n" + cases +
                          "[[wrong]]\nname = \"right after all\"\nsource = \"MOV A, B\\nRET\"\n"
                          "[[wrong]]\nname = \"typo\"\nsource = \"MVX A, 7h\"\n";
  RunCases({
      {"valid",
       {"test", "--validate", "good.toml"},
       {{"good.toml", good}},
       0,
       "good.toml:3: the solution scores 2/2 points: every case passes\n"
       "good.toml:13: the wrong program 'constant' scores 1/2 points: caught by 'zero' (A is 07h, expected 00h)\n"
       "good.toml: valid\n",
       "",
       {},
       {}},
      {"a failing solution, a wrong program that passes, one that does not assemble",
       {"test", "--validate", "bad.toml"},
       {{"bad.toml", bad}},
       1,
       "bad.toml:3: the solution scores 0/2 points: it fails 'seven' (A is 00h, expected 07h), 'zero' (A is 01h, "
       "expected 00h)\n"
       "bad.toml:13: the wrong program 'right after all' scores 2/2 points: no case takes a point from it\n"
       "bad.toml:16: the wrong program 'typo' does not assemble: 1:1: error: 'MVX' is not an instruction: the "
       "instructions are MOV, MVI, ADD, CMP and RET\n"
       "bad.toml: not valid\n",
       "",
       {},
       {}},
      {"no solution",
       {"test", "--validate", "ex.toml"},
       {{"ex.toml", head + cases}},
       1,
       "ex.toml: no solution: add solution = \"\"\"...\"\"\" with a program that scores full marks\n"
       "ex.toml: not valid\n",
       "",
       {},
       {}},
      {"a C exercise's reference is C as well",
       {"test", "--validate", "c.toml"},
       {{"c.toml",
         "title = \"C copy\"\ntext = \"Copy.\"\nlanguage = \"c\"\nsolution = \"\"\"\n#include <mirvo.h>\nvoid "
         "main(void) { mem[0x1001] = mem[0x1000]; }\n\"\"\"\n[[case]]\nname = \"seven\"\ngiven = "
         "\"[1000h]=7\"\nexpect = \"[1001h]=7\"\n[reference]\nsolution = \"\"\"\nMVI H, 10h\nRET\n\"\"\"\nvary = "
         "\"[1000h]=0..0FFh\"\ncompare = \"[1001h]\"\n"}},
       64,
       "",
       "c.toml:13:1: error: the reference's solution does not compile: line 1: expected a declaration before 'MVI'\n",
       {},
       {}},
      {"a broken exercise",
       {"test", "--validate", "e.toml"},
       {{"e.toml", "title = 1\n"}},
       64,
       "",
       "e.toml:1:9: error: 'title' must be a string in quotes\n",
       {},
       {}},
      {"nothing to grade beside it",
       {"test", "--validate", "good.toml", "p.asm"},
       {{"good.toml", good}},
       64,
       "",
       "mirvo: --validate checks the exercise alone: name no FILE\nTry 'mirvo test --help' for more information.\n",
       {},
       {}},
  });
}

// The run-time checks and the explanations on the command line.
TEST(MirvoTest, ChecksAndExplanations) {
  const std::string unset = "MVI A, 42h\nMOV Mem, A\nADD B ; mirvo: allow past-end\n";
  const std::string unsetReport =
      "u.asm:2:1: warning: MOV Mem, A writes the byte at 0000h, but H and L were never set [-Whl-unset]\n"
      "MOV Mem, A\n^~~\n"
      "u.asm:2:1: warning: MOV Mem, A changes the program's own byte at 0000h from 3Eh to 42h, in the statement on "
      "line 1 [-Wcode-write]\nMOV Mem, A\n^~~\n"
      "u.asm:3:1: warning: ADD B reads B, which was never set: it holds the reset value 00h [-Wunset-read]\n"
      "ADD B ; mirvo: allow past-end\n^~~\n";
  const std::string stopped =
      "Outcome:   stopped: the byte 00h at 0004h is no instruction\nSteps:     4\n"
      "Registers: A 42h (66)   B 00h (0)    C 00h (0)    D 00h (0)\n"
      "           E 00h (0)    H 00h (0)    L 00h (0)\n"
      "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0004h (4)\nSP:        FFFFh (65535)\n"
      "Memory:    1 byte changed (address: before -> after)\n  0000h: 3Eh -> 42h\n";
  RunCases({
      {"checks warn and keep the outcome", {"run", "u.asm"}, {{"u.asm", unset}}, 2, stopped, unsetReport, {}, {}},
      {"one check off, one back on",
       {"run", "u.asm", "-Wno-checks", "-Wunset-read"},
       {{"u.asm", unset}},
       2,
       stopped,
       "u.asm:3:1: warning: ADD B reads B, which was never set: it holds the reset value 00h [-Wunset-read]\n"
       "ADD B ; mirvo: allow past-end\n^~~\n",
       {},
       {}},
      {"a check that does not exist",
       {"run", "u.asm", "-Wno-carry"},
       {},
       64,
       "",
       "mirvo: -Wno-carry: 'carry' is not a check: the checks are hl-unset, code-write, past-end, carry-lost and "
       "unset-read\nTry 'mirvo run --help' for more information.\n",
       {},
       {}},
      {"a given state counts as set",
       {"run", "g.asm", "--given", "B=5h H=10h"},
       {{"g.asm", "MVI A, 1h\nADD B\nMOV Mem, A\nRET\n"}},
       0,
       "Outcome:   halted by the RET at 0004h\nSteps:     4\n"
       "Registers: A 06h (6)    B 05h (5)    C 00h (0)    D 00h (0)\n"
       "           E 00h (0)    H 10h (16)   L 00h (0)\n"
       "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0004h (4)\nSP:        FFFFh (65535)\n"
       "Memory:    1 byte changed (address: before -> after)\n  1000h: 00h -> 06h\n",
       "",
       {},
       {}},
      {"the assembler warns of a missing RET",
       {"asm", "p.asm"},
       {{"p.asm", "MVI A, 5h\n  ADD A\n; the end\n"}},
       0,
       "",
       "p.asm:2:3: warning: the program ends with ADD, not RET: the machine will run on past its end\n"
       "  ADD A\n  ^~~\n1 warning generated.\n",
       {},
       {}},
      {"explained trace",
       {"run", "c.asm", "--trace", "--explain", "-Wno-checks"},
       {{"c.asm", "MVI A, 50h\nMVI H, 10h\nCMP Mem\nADD A\nRET\n"}},
       0,
       "       1  0000  3E 50  MVI A, 50h      A 00h->50h\n"
       "          MVI A, 50h: A = 50h; the flags stay as they were\n"
       "       2  0002  26 10  MVI H, 10h      H 00h->10h\n"
       "          MVI H, 10h: H = 10h; the flags stay as they were\n"
       "       3  0004  BE     CMP Mem         [1000h] = 00h, nothing changed\n"
       "          CMP Mem: A (50h) is above [1000h] (00h), so CY = 0 and Z = 0\n"
       "       4  0005  87     ADD A           A 50h->0A0h\n"
       "          ADD A: A = 50h + 50h = 0A0h; this form leaves the flags as they were\n"
       "       5  0006  C9     RET             nothing changed\n"
       "          RET: the stack is empty, so the program ends here\n" +
           std::string("Outcome:   halted by the RET at 0006h\nSteps:     5\n") +
           "Registers: A 0A0h (160)  B 00h (0)    C 00h (0)    D 00h (0)\n"
           "           E 00h (0)    H 10h (16)   L 00h (0)\n"
           "Flags:     S=0 Z=0 AC=0 P=0 CY=0\nPC:        0006h (6)\nSP:        FFFFh (65535)\nMemory:    no byte "
           "changed\n",
       "",
       {},
       {}},
      {"explain needs a trace",
       {"run", "c.asm", "--explain"},
       {},
       64,
       "",
       "mirvo: --explain requires --trace\nTry 'mirvo run --help' for more information.\n",
       {},
       {}},
      {"the list of checks",
       {"explain"},
       {},
       0,
       "hl-unset    Mem is used before H and L are set\n"
       "code-write  a write changes the program's own bytes\n"
       "past-end    the program runs past its last statement\n"
       "carry-lost  a register ADD wraps past FFh and loses the carry\n"
       "unset-read  a register is read before anything set it\n",
       "",
       {},
       {}},
      {"the page of a check",
       {"explain", "carry-lost"},
       {},
       0,
       "carry-lost: a register ADD wraps past FFh and loses the carry\n\n"
       "ADD with a register operand keeps only the low eight bits of the sum and,\n"
       "unlike ADD Mem, sets no flag: a sum above FFh wraps round, and neither CY\n"
       "nor anything else shows that it did.\n\n"
       "Example:\n    MVI A, 0F0h\n    MVI B, 20h\n    ADD B           ; 0F0h + 20h = 110h: A becomes 10h\n    RET\n\n"
       "How to fix it:\n"
       "    Use ADD Mem, which sets CY when the sum passes FFh, or keep the values\n"
       "    small enough for their sum to fit in a byte.\n\n"
       "How to turn it off:\n"
       "    Give mirvo run the option -Wno-carry-lost (or -Wno-checks for every\n"
       "    check). Where a statement means it, say so in the comment on its line,\n"
       "    \"; mirvo: allow carry-lost\", and this check is quiet there.\n",
       "",
       {},
       {}},
      {"no such check",
       {"explain", "carry"},
       {},
       64,
       "",
       "mirvo: 'carry' is not a check: the checks are hl-unset, code-write, past-end, carry-lost and unset-read\n"
       "Try 'mirvo explain --help' for more information.\n",
       {},
       {}},
  });

  ScratchDir dir;
  WriteFile(dir / "u.asm", unset);
  const SplitResult json = RunProgramSplit(kMirvo, {"run", "--json", "u.asm", "-Wno-hl-unset"}, dir.Path());
  EXPECT_EQ(json.exitCode, 2);
  EXPECT_EQ(Json::parse(json.out)["checks"], Json::parse(R"([
      {"id":"code-write","step":2,"address":2,"line":2,"column":1,"length":3,
       "message":"MOV Mem, A changes the program's own byte at 0000h from 3Eh to 42h, in the statement on line 1"},
      {"id":"unset-read","step":3,"address":3,"line":3,"column":1,"length":3,
       "message":"ADD B reads B, which was never set: it holds the reset value 00h"}])"));
}

// The shipped examples mean what they do: no run of theirs warns.
TEST(MirvoTest, ExamplesRunWithoutWarnings) {
  for (const std::string& path :
       {kExamples + "/sum.asm", kExamples + "/carry.asm", kExamples + "/compare.asm", kExamples + "/move.asm",
        kExamples + "/selfmod.asm", std::string(MIRVO_GENERATED_EXAMPLES_DIR) + "/forever.asm"}) {
    ScratchDir dir;
    const SplitResult result = RunProgramSplit(kMirvo, {"run", path}, dir.Path());
    EXPECT_EQ(result.err, "") << path;
  }
}

TEST(MirvoTest, Fmt) {
  const std::string loose = "mvi A,5h;x\n\tret\n";
  const std::string laid = "MVI A, 5h       ;x\nRET\n";
  RunCases({
      {"rewrites a source", {"fmt", "p.asm"}, {{"p.asm", loose}}, 0, "", "", {{"p.asm", laid}}, {}},
      {"a laid-out source is left alone",
       {"fmt", "--check", "p.asm", "q.asm"},
       {{"p.asm", laid}, {"q.asm", ""}},
       0,
       "",
       "",
       {{"p.asm", laid}},
       {}},
      {"--check changes nothing and fails",
       {"fmt", "--check", "p.asm", "q.asm"},
       {{"p.asm", loose}, {"q.asm", laid}},
       1,
       "",
       "mirvo: p.asm is not formatted\n",
       {{"p.asm", loose}},
       {}},
      {"unreadable source",
       {"fmt", "no.asm", "p.asm"},
       {{"p.asm", loose}},
       1,
       "",
       "mirvo: cannot open no.asm: No such file or directory\n",
       {{"p.asm", laid}},
       {}},
      {"--check of a source on a pipe",
       {"fmt", "--check", "/dev/stdin"},
       {},
       1,
       "",
       "mirvo: /dev/stdin is not formatted\n",
       {},
       {},
       loose},
      {"--check of a laid-out source on a pipe", {"fmt", "--check", "/dev/stdin"}, {}, 0, "", "", {}, {}, laid},
  });
}

// A message case: the words standard error (and standard output) must hold
// and the exit code, for the messages whose words matter more than the rest
// of the line. "sh" as the first word runs the rest as a shell line, $0
// being mirvo, for standard output closed or full.
struct MessageCase {
  const char* name;
  std::vector<std::string> args;
  Files inputs;
  int exitCode;
  std::vector<std::string> errWords;
  std::vector<std::string> outWords = {};
  std::vector<std::string> outAbsent = {};
};

TEST(MirvoTest, Messages) {
  // 1,100 bytes of folders that do not exist, past any fixed buffer.
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "missing-" + std::to_string(i) + "/";
  const std::string kTry = "Try 'mirvo ";
  const std::vector<MessageCase> cases = {
      {"link's exercise file that cannot be read",
       {"link", "missing.toml"},
       {},
       64,
       {"mirvo: cannot open missing.toml: No such file or directory\n"}},
      {"link's source that cannot be read",
       {"link", "missing.asm"},
       {},
       1,
       {"mirvo: cannot open missing.asm: No such file or directory\n"}},
      {"explain of no check",
       {"explain", "nope"},
       {},
       64,
       {"mirvo: 'nope' is not a check", kTry + "explain --help' for more information.\n"}},
      {"explain ID --man is that check's page",
       {"explain", "hl-unset", "--man"},
       {},
       0,
       {},
       {".TH MIRVO-CHECKS 7", ".SS \"hl\\-unset \\(em"},
       {".SS \"code\\-write"}},
      {"--max-steps in exponent form",
       {"run", "p.asm", "--max-steps", "1e3"},
       {{"p.asm", "RET\n"}},
       64,
       {"mirvo: --max-steps: 1e3 is not a whole number: N is written in decimal digits, from 1 to 1073741824\n",
        kTry + "run --help'"}},
      {"--trace-limit as a fraction",
       {"run", "p.asm", "--trace", "--trace-limit", "1.5"},
       {{"p.asm", "RET\n"}},
       64,
       {"mirvo: --trace-limit: 1.5 is not a whole number: N is written in decimal digits", kTry + "run --help'"}},
      {"a long output path keeps its reason",
       {"asm", "p.asm", "-o", deep + "p.bin"},
       {{"p.asm", "RET\n"}},
       1,
       {"mirvo: cannot create " + deep + "p.bin: No such file or directory\n"}},
      {"an existing output that cannot be written is replaced, not created",
       {"asm", "p.asm", "-o", "."},
       {{"p.asm", "RET\n"}},
       1,
       {"mirvo: cannot replace .: Is a directory\n"}},
      {"a NUL byte in an expectation file",
       {"check", "p.asm", "--expect-file", "e.txt"},
       {{"p.asm", "RET\n"}, {"e.txt", std::string("A=5h x\0yz tail\n", 15)}},
       64,
       {"mirvo: e.txt: 'x^@yz' is not an expectation", kTry + "check --help'"}},
      {"--help into a closed standard output",
       {"sh", "\"$0\" --help >&-"},
       {},
       1,
       {"mirvo: cannot write standard output: Bad file descriptor\n"}},
      {"--version into a full disk",
       {"sh", "\"$0\" --version >/dev/full"},
       {},
       1,
       {"mirvo: cannot write standard output: No space left on device\n"}},
      {"a subcommand's --help into a full disk",
       {"sh", "\"$0\" fmt --help >/dev/full"},
       {},
       1,
       {"mirvo: cannot write standard output: No space left on device\n"}},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) WriteFile(dir / name, bytes);
    const SplitResult result = c.args.front() == "sh"
                                   ? RunProgramSplit("/bin/sh", {"-c", c.args[1], kMirvo}, dir.Path())
                                   : RunProgramSplit(kMirvo, c.args, dir.Path());
    EXPECT_EQ(result.exitCode, c.exitCode);
    for (const std::string& words : c.errWords) EXPECT_NE(result.err.find(words), std::string::npos) << result.err;
    for (const std::string& words : c.outWords) EXPECT_NE(result.out.find(words), std::string::npos) << words;
    for (const std::string& words : c.outAbsent) EXPECT_EQ(result.out.find(words), std::string::npos) << words;
  }
}

// The command around the compiler: its files, its refusals, its exit codes.
TEST(MirvoTest, CcFilesAndUsage) {
  const std::string program = "void main(void) {}\n";
  RunCases({
      {"unreadable source",
       {"cc", "no.c"},
       {},
       1,
       "",
       "mirvo: cannot open no.c: No such file or directory\n",
       {},
       {"no.asm"}},
      {"assembly would replace the source",
       {"cc", "p.c", "-S", "./p.c"},
       {{"p.c", program}},
       1,
       "",
       "mirvo: the assembly ./p.c is the input p.c; nothing was written\n",
       {{"p.c", program}},
       {}},
      {"image would replace the source",
       {"cc", "p.c", "-o", "p.c"},
       {{"p.c", program}},
       1,
       "",
       "mirvo: the image p.c is the input p.c; nothing was written\n",
       {},
       {"p.asm"}},
      {"no source",
       {"cc"},
       {},
       64,
       "",
       "mirvo: SOURCE is required\nTry 'mirvo cc --help' for more information.\n",
       {},
       {}},
      {"no such level",
       {"cc", "p.c", "-O2"},
       {},
       64,
       "",
       "mirvo: -O: '2' is none of 0|1\nTry 'mirvo cc --help' for more information.\n",
       {},
       {}},
  });
}

TEST(MirvoTest, HelpVersionAndUsage) {
  ScratchDir dir;
  const SplitResult version = RunProgramSplit(kMirvo, {"--version"}, dir.Path());
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "mirvo 1.0\n");
  for (const char* command : {"asm", "run", "dis", "check", "test", "link", "explain", "fmt", "cc"}) {
    const SplitResult help = RunProgramSplit(kMirvo, {command, "--help"}, dir.Path());
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_NE(help.out.find(std::string("Usage: mirvo ") + command), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
  const SplitResult unknown = RunProgramSplit(kMirvo, {"frob"}, dir.Path());
  EXPECT_EQ(unknown.exitCode, 64);
  EXPECT_EQ(unknown.err,
            "mirvo: 'frob' is not a subcommand: use asm, run, dis, check, test, link, explain, fmt, cc or lsp\n"
            "Try 'mirvo --help' for more information.\n");
  EXPECT_EQ(RunProgramSplit(kMirvo, {}, dir.Path()).exitCode, 64);
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace mirvo::test
