// The state syntax, the exercise file and grading, each as a table; and the
// exercises that ship, each against the model solution it carries and
// against a solution that writes the first case's answer in as constants.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "ClassSummary.h"
#include "Grading.h"
#include "ProgramImage.h"
#include "TestSupport.h"

namespace mirvo::test {
namespace {

Program Assemble(const std::string& source) {
  Program program = Program::FromSource("", source);
  EXPECT_FALSE(program.HasErrors()) << source;
  return program;
}

// Items written back in the syntax, or "error at OFFSET: MESSAGE".
std::string Read(const std::string& text, StateRole role) {
  std::vector<Expectation> items;
  SyntaxError error;
  if (ParseState(text, role, items, error) != 0)
    return "error at " + std::to_string(error.offset) + ": " + error.message;
  std::string written;
  for (const Expectation& item : items) {
    written +=
        (written.empty() ? "" : " ") + WriteItem(item, item.value, item.outcome) + "@" + std::to_string(item.offset);
  }
  return written;
}

TEST(StateSyntaxTest, ReadsItemsAndPlacesMistakes) {
  constexpr StateRole kGiven = StateRole::kGiven;
  constexpr StateRole kExpected = StateRole::kExpected;
  const struct {
    const char* text;
    StateRole role;
    const char* read;
  } rows[] = {
      {"A=20h b=0x20h z=1 cy=0 PC=0Ch sp=0FFFFh HALT", kExpected,
       "A=20h@0 B=20h@6 Z=1@14 CY=0@18 PC=000Ch@23 SP=FFFFh@30 halt@40"},
      {"A=-1h [1000h]=+7h,9", kGiven, "A=0FFh@0 [1000h]=07h@6 [1001h]=09h@18"},
      {"[1000h]=5h,7h,0F0h", kGiven, "[1000h]=05h@0 [1001h]=07h@11 [1002h]=0F0h@14"},
      {"[1000h]=5h, 7h ,\n 9h ; a comment, 4h\nL=1", kGiven, "[1000h]=05h@0 [1001h]=07h@12 [1002h]=09h@18 L=01h@37"},
      {"undefined-opcode loops-forever", kExpected, "error at 17: 'loops-forever': the outcome is named twice"},
      {"", kGiven, ""},
      {" ; nothing\n", kExpected, "error at 0: no expectations given: write them like \"A=20h Z=1 halt\""},
      {"A=1 Q=2", kExpected,
       "error at 4: 'Q=2': 'Q' is none of the registers A B C D E H L, the flags S Z AC P CY, PC, SP or [ADDRESS]"},
      {"Q=2", kGiven,
       "error at 0: 'Q=2': 'Q' is none of the registers A B C D E H L, the flags S Z AC P CY or [ADDRESS]"},
      {"Z=2", kExpected, "error at 2: 'Z=2': the value must be 0 or 1"},
      {"[1000h]=1,2,100h", kGiven,
       "error at 12: '[1000h]=1,2,100h': the value must be a number from 0 to 0FFh, such as 0Ah, 10h or 0x1Ah"},
      {"[1000h]=1,", kGiven,
       "error at 10: '[1000h]=1,': the value must be a number from 0 to 0FFh, such as 0Ah, 10h or 0x1Ah"},
      // Numbers are the language's: digits from 10 up are refused as the
      // assembler refuses them, with both readings.
      {"[2000h]=10", kGiven,
       "error at 8: '[2000h]=10': '10' is not a number: numbers are hexadecimal and end in a lower-case h, as in 10h; "
       "decimal 10 is 0Ah"},
      {"[4096]=1", kGiven,
       "error at 0: '[4096]=1': '4096' is not a number: numbers are hexadecimal and end in a lower-case h, as in "
       "4096h; decimal 4096 is 1000h"},
      {"A=300", kExpected,
       "error at 2: 'A=300': '300' is not a number: numbers are hexadecimal and end in a lower-case h and run from 0 "
       "to 0FFh"},
      {"A=0FH", kExpected,
       "error at 2: 'A=0FH': '0FH' is not a number: the h at its end must be lower case, as in 0Fh"},
      {"[2001h] = 0Fh", kGiven, "error at 7: '[2001h] = 0Fh': no spaces around '=': write [2001h]=0Fh"},
      {"A=5h, B=6h", kExpected, "error at 4: 'A=5h,B=6h': items are separated by spaces, not commas: write A=5h B=6h"},
      {"[1000h]=5h,7h,A=3h", kGiven,
       "error at 13: '[1000h]=5h,7h,A=3h': items are separated by spaces, not commas: write [1000h]=5h,7h A=3h"},
      {"[10000h]=1", kGiven,
       "error at 0: '[10000h]=1': the address in brackets must be a number from 0 to 0FFFFh, such as [1000h]"},
      {"[0FFFFh]=1,2", kGiven, "error at 11: '[0FFFFh]=1,2': the run of bytes goes past the end of memory at FFFFh"},
      {"A=1,2", kExpected, "error at 4: 'A=1,2': only memory takes a run of values, as in [1000h]=5h,7h"},
      {"[1000h]=1,2 [1001h]=3", kGiven, "error at 12: '[1001h]=3': '[1001h]' is named twice"},
      {"A=1 a=2", kGiven, "error at 4: 'a=2': 'A' is named twice"},
      {"PC=5", kGiven, "error at 0: 'PC=5': PC cannot be given: every run starts at 0000h"},
      {"SP=5", kGiven, "error at 0: 'SP=5': SP cannot be given: the stack is always empty"},
      {"halt", kGiven, "error at 0: 'halt' is an outcome: a given state holds registers, flags and memory bytes"},
      {"A", kGiven, "error at 0: 'A' is not a given value: write NAME=VALUE or [ADDRESS]=VALUE"},
      {"A", kExpected,
       "error at 0: 'A' is not an expectation: write NAME=VALUE, [ADDRESS]=VALUE or one of halt, undefined-opcode, "
       "loops-forever, step-limit"},
  };
  for (const auto& row : rows) EXPECT_EQ(Read(row.text, row.role), row.read) << row.text;
}

std::string Errors(const std::string& file) {
  // Each file is read into an exercise that held another, as a front end
  // may read one file after another: none of the first one's warnings stays.
  Exercise exercise;
  ExerciseError error;
  EXPECT_EQ(ParseExercise("\xEF\xBB\xBFtitle = \"t\"\ntext = \"x\"\n[[case]]\nname = \"a\"\nexpect = \"A=1\"\n",
                          exercise, error),
            0);
  if (ParseExercise(file, exercise, error) != 0) {
    return std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message;
  }
  std::string text = "no error";
  for (const ExerciseError& warning : exercise.warnings) {
    text += "; warning " + std::to_string(warning.line) + ":" + std::to_string(warning.column) + ": " + warning.message;
  }
  return text;
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

TEST(ExerciseFileTest, EachMistakeIsPlaced) {
  const std::string head = "title = \"t\"\ntext = \"x\"\n";
  const std::string one = "[[case]]\nname = \"a\"\nexpect = \"A=1\"\n";
  const struct {
    std::string file;
    const char* error;
  } rows[] = {
      {head + one, "no error"},
      {"title = \"t\ntext = \"x\"\n",
       "1:11: Error while parsing string: unescaped control characters other than TAB (U+0009) are explicitly "
       "prohibited"},
      {head, "3:1: the exercise has no case: add one with [[case]]"},
      {"text = \"x\"\n" + one, "5:1: the exercise has no 'title'"},
      {"title = 5\n" + one, "1:9: 'title' must be a string in quotes"},
      {"title = \"\"\ntext = \"x\"\n" + one, "1:9: 'title' is empty"},
      {"title = 5\ntext = \"x\"\n" + one, "1:9: 'title' must be a string in quotes"},
      {head + "colour = 1\n" + one,
       "3:1: unknown key 'colour': an exercise has title, text, starter, max_steps, max_bytes, leaderboard, language, "
       "solution, hidden_cases, [[case]], [reference] and [[wrong]] tables"},
      {head + one + "expected = \"A=1\"\n",
       "6:1: unknown key 'expected' in a case: a case has name, given, expect, points and hidden"},
      {head + "max_steps = 0\n" + one, "3:13: 'max_steps' must be a whole number from 1 to 1073741824"},
      {head + "max_bytes = 65537\n" + one, "3:13: 'max_bytes' must be a whole number from 1 to 65536"},
      {head + "language = \"C\"\n" + one, "3:12: 'language' is \"assembly\" or \"c\""},
      {head + "case = 5\n", "3:8: 'case' must be tables written [[case]]"},
      {head + "[[case]]\nname = \"a\"\n", "3:1: the case has no 'expect'"},
      {head + "[[case]]\nexpect = \"A=1\"\n", "3:1: the case has no 'name'"},
      {head + one + one, "7:8: a case named 'a' already stands on line 4"},
      {head + one + "points = 1001\n", "6:10: 'points' must be a whole number from 0 to 1000"},
      {head + one + "hidden = \"yes\"\n", "6:10: 'hidden' must be true or false"},
      // Mistakes inside a given or expect string are placed where they stand,
      // through escapes and the quotings of TOML.
      {head + "[[case]]\nname = \"a\"\nexpect = \"A=1 Q=2\"\n",
       "5:15: 'expect': 'Q=2': 'Q' is none of the registers A B C D E H L, the flags S Z AC P CY, PC, SP or [ADDRESS]"},
      {head + one + "given = \"B=1\\t\\u0041=300\"\n",
       "6:22: 'given': 'A=300': '300' is not a number: numbers are hexadecimal and end in a lower-case h and run "
       "from 0 to 0FFh"},
      {head + one + "given = '''\n  B=1\n  [1000h]=5h,\n     7h, 1FFh'''\n",
       "9:10: 'given': '[1000h]=5h,7h,1FFh': the value must be a number from 0 to 0FFh, such as 0Ah, 10h or 0x1Ah"},
      // Letters beyond ASCII after a line-ending backslash (toml++ once
      // stumbled there).
      {"title = \"\"\"Add \\\n  \u00e9l\u00e8ves\"\"\"\ntext = \"x\"\n" + one, "no error"},
      {head + one + "given = \"\"\"\nB=1 \\\n   PC=0\"\"\"\n",
       "8:4: 'given': 'PC=0': PC cannot be given: every run starts at 0000h"},
      // The teacher's keys.
      {head + "leaderboard = 1\n" + one, "3:15: 'leaderboard' must be true or false"},
      {head + "solution = 5\n" + one, "3:12: 'solution' must be a string in quotes"},
      {head + one + "[[wrong]]\nname = \"w\"\n", "6:1: the wrong program has no 'source'"},
      {head + one + "[[wrong]]\nname = \"w\"\nsource = \"RET\"\n[[wrong]]\nname = \"w\"\nsource = \"\"\n",
       "10:8: a wrong program named 'w' already stands on line 7"},
      {head + "wrong = \"RET\"\n" + one, "3:9: 'wrong' must be tables written [[wrong]]"},
      // A learner's copy may have left every case out.
      {head + "hidden_cases = 2\n", "no error"},
      // Encodings: a byte-order mark is skipped, UTF-16 named.
      {"\xEF\xBB\xBF" + head + one,
       "no error; warning 1:1: the text starts with a UTF-8 byte-order mark, which is skipped: UTF-8 needs none"},
      {std::string("\xFF\xFEt\0i\0", 6), "1:1: the text is UTF-16, which cannot be read: save it as UTF-8"},
      // What toml++ cannot take is refused before it reads the file.
      {head + "[" + Repeat("a.", 150'000) + "a]\n", "3:2: a dotted key has at most 64 parts"},
      {head + "x" + Repeat(".x", 64) + " = 1\n", "3:1: a dotted key has at most 64 parts"},
      {head + "x = " + Repeat("[", 300) + Repeat("]", 300) + "\n",
       "3:260: tables, arrays and the parts of dotted keys nest at most 256 deep"},
      {head + "[;\n", "3:2: a table's name must follow '[': letters, digits, _ and -, or a name in quotes"},
      {head + "x = [1, }\n", "3:9: '}' where the array needs a value or ']'"},
      // ... and what it can is left to it, strings and comments included.
      {head + "# [;\nx = ['[;', \"\"\"\n[}\"\"\"\", 1979-05-27 07:32:00] # [;\n" + one,
       "4:1: unknown key 'x': an exercise has title, text, starter, max_steps, max_bytes, leaderboard, language, "
       "solution, hidden_cases, [[case]], [reference] and [[wrong]] tables"},
  };
  for (const auto& row : rows) EXPECT_EQ(Errors(row.file), row.error) << row.file;
}

// Case results in words: "+" for a pass, else the error or the mismatches.
std::string Results(const Exercise& exercise, const Grade& grade) {
  std::string text = std::to_string(grade.score) + "/" + std::to_string(grade.maxScore);
  if (!grade.error.empty()) return text + " " + grade.error;
  for (std::size_t i = 0; i < grade.cases.size(); ++i) {
    const CaseResult& result = grade.cases[i];
    text += " [";
    if (result.pass) text += "+";
    text += result.error;
    for (const Mismatch& mismatch : result.mismatches) {
      text += (text.back() == '[' ? "" : "; ") + DescribeMismatch(exercise.cases[i].expected, mismatch);
    }
    text += "]";
  }
  return text;
}

TEST(GradingTest, EachCaseOnAFreshMachine) {
  const std::string head = "title = \"t\"\ntext = \"x\"\nmax_steps = 50\nmax_bytes = 8\n";
  std::string endless = "7Fh";
  for (int i = 0; i < 59; ++i) endless += ",7Fh";
  const struct {
    std::string cases;
    const char* program;
    const char* results;
  } rows[] = {
      // A case starts from the image and its given state, and sees nothing
      // of the case before it.
      {"[[case]]\nname='a'\ngiven='B=3'\nexpect='A=3'\n[[case]]\nname='b'\nexpect='A=0'\npoints=2\n", "ADD B\nRET\n",
       "3/3 [+] [+]"},
      // Every case expects halt unless it names an outcome.
      {"[[case]]\nname='a'\nexpect='A=0'\n[[case]]\nname='b'\nexpect='undefined-opcode'\n", "MOV A, A\n",
       "1/2 [outcome is undefined-opcode, expected halt] [+]"},
      // max_steps bounds each run: 60 MOV A, A from the given state.
      {"[[case]]\nname='a'\ngiven='[0001h]=" + endless + "'\nexpect='step-limit'\n", "MOV A, A\n", "1/1 [+]"},
      // A given byte inside the program fails that case only, naming both.
      {"[[case]]\nname='a'\ngiven='[0001h]=0'\nexpect='A=0'\n[[case]]\nname='b'\ngiven='[0003h]=0'\nexpect='A=5'\n",
       "MVI A, 5h\nRET\n", "1/2 [the given byte [0001h] falls inside the program, which fills 0000h to 0002h] [+]"},
      {"[[case]]\nname='a'\nexpect='A=0'\n", "MVI A, 0h\nMVI B, 0h\nMVI C, 0h\nMVI D, 0h\nMVI E, 0h\nRET\n",
       "0/1 the program is 11 bytes long; this exercise allows at most 8"},
      // An exercise in C grades C programs only.
      {"language='c'\n[[case]]\nname='a'\nexpect='A=0'\n", "RET\n", "0/1 this exercise takes a C program (a .c file)"},
      {"[[case]]\nname='a'\ngiven='S=1 P=1 AC=1'\nexpect='S=1 P=1 AC=1 Z=0 CY=0'\n", "CMP B\nRET\n",
       "0/1 [Z is 1, expected 0]"},
  };
  for (const auto& row : rows) {
    Exercise exercise;
    ExerciseError error;
    ASSERT_EQ(ParseExercise(head + row.cases, exercise, error), 0) << error.message;
    EXPECT_EQ(Results(exercise, GradeProgram(exercise, Assemble(row.program))), row.results) << row.cases;
  }
}

// The best programs of a class (bytes against steps) against a brute force:
// a program is best when no other is as small and as quick and better in one.
TEST(ClassSummaryTest, BestProgramsAreThoseNoOtherBeats) {
  Exercise exercise;
  ExerciseError error;
  ASSERT_EQ(ParseExercise("title = \"t\"\ntext = \"x\"\n[[case]]\nname='a'\nexpect='A=0'\n", exercise, error), 0);
  std::vector<std::vector<std::pair<std::uint32_t, std::uint64_t>>> rows = {
      {},
      {{5, 9}},
      {{5, 9}, {5, 9}},                    // ties are both best
      {{3, 20}, {4, 10}, {6, 4}, {7, 4}},  // a staircase and one it beats
      {{8, 8}, {8, 3}, {2, 30}, {2, 31}},  // same bytes: the fewer steps only
      {{10, 1}, {1, 10}, {5, 5}, {6, 6}, {5, 6}},
  };
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int many = 0; many < 20; ++many) {
    rows.emplace_back();
    for (unsigned i = 0; i < next() % 40; ++i) rows.back().emplace_back(next() % 16, next() % 16);
  }
  for (const auto& points : rows) {
    std::vector<Grade> grades(points.size() + 1);
    grades.back().cases.resize(1);  // a program that failed: never a point
    for (std::size_t i = 0; i < points.size(); ++i) {
      grades[i].bytes = points[i].first;
      grades[i].cases.resize(1);
      grades[i].cases[0].pass = true;
      grades[i].cases[0].steps = points[i].second;
    }
    std::vector<const Grade*> pointers;
    for (const Grade& grade : grades) pointers.push_back(&grade);
    const ClassSummary summary = SummariseClass(exercise, pointers, std::vector<std::string>(grades.size()), 3);
    ASSERT_EQ(summary.passing.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      const auto [bytes, steps] = points[i];
      const bool beaten = std::any_of(points.begin(), points.end(), [&](const auto& other) {
        return other.first <= bytes && other.second <= steps && (other.first < bytes || other.second < steps);
      });
      EXPECT_EQ(summary.passing[i].grade, i);
      EXPECT_EQ(summary.passing[i].best, !beaten) << bytes << " bytes, " << steps << " steps";
    }
  }
}

// A program that writes the first case's expected registers and bytes in
// as constants, as a learner who read the answer off might.
std::string ConstantAnswer(const ExerciseCase& first) {
  std::string source;
  for (const Expectation& item : first.expected) {
    if (item.kind != ExpectKind::kMemory) continue;
    source += "MVI H, " + std::string(ByteNotation(static_cast<std::uint8_t>(item.address >> 8)).text) + "\nMVI L, " +
              ByteNotation(static_cast<std::uint8_t>(item.address & 0xFF)).text + "\nMVI Mem, " +
              ByteNotation(static_cast<std::uint8_t>(item.value)).text + "\n";
  }
  for (const Expectation& item : first.expected) {
    if (item.kind != ExpectKind::kRegister) continue;
    source += "MVI " + std::string(kRegisterNames[item.slot]) + ", " +
              ByteNotation(static_cast<std::uint8_t>(item.value)).text + "\n";
  }
  return source + "RET\n";
}

TEST(ShippedExercisesTest, ModelSolutionsScoreFullMarksAndConstantsFail) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(MIRVO_EXERCISES_DIR)) files.push_back(entry.path());
  EXPECT_GE(files.size(), 8U);
  EXPECT_LE(files.size(), 12U);
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    Exercise exercise;
    ExerciseError error;
    ASSERT_EQ(ParseExercise(ReadFile(file.string()), exercise, error), 0)
        << error.line << ":" << error.column << ": " << error.message;
    const Program solution = ExerciseProgram(exercise, exercise.solution);
    EXPECT_FALSE(solution.HasErrors()) << exercise.solution;
    // A model solution is a correct program: no warning, and no run-time
    // check on any case, except where a statement says it means it.
    const std::span<const Diagnostic> diagnostics = solution.Diagnostics();
    EXPECT_TRUE(diagnostics.empty()) << DescribeDiagnostic(diagnostics.front());
    const Grade model = GradeProgram(exercise, solution);
    EXPECT_TRUE(model.AllPassed()) << Results(exercise, model);
    EXPECT_EQ(model.score, exercise.MaxScore());
    for (const CaseResult& result : model.cases) {
      for (const CheckFinding& finding : result.checks) ADD_FAILURE() << finding.line << ": " << finding.message;
    }
    const std::string constant = ConstantAnswer(exercise.cases.front());
    EXPECT_FALSE(GradeProgram(exercise, Assemble(constant)).AllPassed()) << constant;
  }
}

}  // namespace
}  // namespace mirvo::test

namespace mirvo::test {
namespace {

// A varied item as the brute force sets it: a register code, a flag slot,
// or a memory address, and its values.
struct BruteItem {
  char kind;  // 'r', 'f' or 'm'
  unsigned where;
  std::vector<std::uint8_t> values;
};

std::vector<std::uint8_t> Span(unsigned low, unsigned high) {
  std::vector<std::uint8_t> values;
  for (unsigned v = low; v <= high; ++v) values.push_back(static_cast<std::uint8_t>(v));
  return values;
}

// Runs source on a fresh machine from given (bytes) and one input.
std::unique_ptr<VirtualMachine> RunFresh(const std::string& source,
                                         const std::vector<std::pair<unsigned, unsigned>>& given,
                                         const std::vector<BruteItem>& items, const std::vector<std::uint8_t>& values,
                                         RunOutcome& outcome) {
  auto machine = std::make_unique<VirtualMachine>();
  const Program program = Assemble(source);
  LoadImage(*machine, program.Image().data(), program.Image().size());
  for (const auto& [address, value] : given)
    machine->WriteMemory(static_cast<std::uint16_t>(address), static_cast<std::uint8_t>(value));
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].kind == 'r') machine->SetRegister(static_cast<std::uint8_t>(items[i].where), values[i]);
    if (items[i].kind == 'f') machine->SetFlag(static_cast<std::uint8_t>(items[i].where), values[i]);
    if (items[i].kind == 'm') machine->WriteMemory(static_cast<std::uint16_t>(items[i].where), values[i]);
  }
  outcome = RunToEnd(*machine, 1000);
  return machine;
}

TEST(ReferenceTest, CountsAndSmallestFailingInputAgreeWithBruteForce) {
  const std::string solutionAdd =
      "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n";
  const std::string solutionDouble = "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nADD A\nMVI L, 01h\nMOV Mem, A\nRET\n";
  // Whether two ends agree, as each row's compare says it.
  using Same = bool (*)(const VirtualMachine&, const VirtualMachine&);
  const Same byteAt1002 = [](const VirtualMachine& a, const VirtualMachine& b) {
    return a.MemoryAt(0x1002) == b.MemoryAt(0x1002);
  };
  const Same registerA = [](const VirtualMachine& a, const VirtualMachine& b) {
    return a.GetRegisters()[kRegA] == b.GetRegisters()[kRegA];
  };
  const Same flagZ = [](const VirtualMachine& a, const VirtualMachine& b) {
    return a.GetFlags()[6] == b.GetFlags()[6];
  };
  const Same twoBytes = [](const VirtualMachine& a, const VirtualMachine& b) {
    return a.MemoryAt(0x1000) == b.MemoryAt(0x1000) && a.MemoryAt(0x1001) == b.MemoryAt(0x1001);
  };
  // memory: every byte from 0100h up (past both images) outside nothing else.
  const Same allMemory = [](const VirtualMachine& a, const VirtualMachine& b) {
    for (unsigned address = 0x100; address < kMemorySize; ++address) {
      if (a.MemoryAt(static_cast<std::uint16_t>(address)) != b.MemoryAt(static_cast<std::uint16_t>(address)))
        return false;
    }
    return true;
  };
  const struct {
    std::string reference;  // vary, compare and given of the table
    std::string solution;
    std::vector<std::pair<unsigned, unsigned>> given;
    std::vector<BruteItem> items;
    Same same;
    const char* submission;
  } rows[] = {
      // Bytes: right, hard-coded for the visible case, never ending.
      {"vary='[1000h]=0..0FFh [1001h]=0..0Fh'\ncompare='[1002h] halt'\n",
       solutionAdd,
       {},
       {{'m', 0x1000, Span(0, 255)}, {'m', 0x1001, Span(0, 15)}},
       byteAt1002,
       "MVI H, 10h\nMVI L, 01h\nMOV A, Mem\nMVI L, 00h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n"},
      {"vary='[1000h]=0..0FFh [1001h]=0..0Fh'\ncompare='[1002h] halt'\n",
       solutionAdd,
       {},
       {{'m', 0x1000, Span(0, 255)}, {'m', 0x1001, Span(0, 15)}},
       byteAt1002,
       "MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n"},
      {"vary='[1000h]=0..0FFh [1001h]=0..0Fh'\ncompare='[1002h]'\n",
       solutionAdd,
       {},
       {{'m', 0x1000, Span(0, 255)}, {'m', 0x1001, Span(0, 15)}},
       byteAt1002,
       "MVI A, 1h\n"},
      // Registers, with a set.
      {"vary='B=0..0FFh C={0,1,80h}'\ncompare='A'\n",
       "MOV A, B\nADD C\nRET\n",
       {},
       {{'r', kRegB, Span(0, 255)}, {'r', kRegC, {0, 1, 0x80}}},
       registerA,
       "MOV A, C\nADD B\nRET\n"},
      // A flag, wrong on one input alone (B=0FFh carries to Z=1).
      {"vary='B=0..0FFh'\ngiven='[1000h]=1'\ncompare='Z'\n",
       "MOV A, B\nRET\n",
       {{0x1000, 1}},
       {{'r', kRegB, Span(0, 255)}},
       flagZ,
       "MVI H, 10h\nMVI L, 00h\nMOV A, B\nADD Mem\nRET\n"},
      // A range of bytes: writing the double over its own input.
      {"vary='[1000h]=0..0FFh'\ncompare='[1000h..1001h]'\n",
       solutionDouble,
       {},
       {{'m', 0x1000, Span(0, 255)}},
       twoBytes,
       "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nADD A\nMOV Mem, A\nMVI L, 01h\nMOV Mem, A\nRET\n"},
      // memory: a stray byte fails where [1001h] alone would pass.
      {"vary='[1000h]=0..0FFh'\ncompare='memory'\n",
       solutionDouble,
       {},
       {{'m', 0x1000, Span(0, 255)}},
       allMemory,
       "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nADD A\nMVI L, 01h\nMOV Mem, A\nMVI L, 02h\nMOV Mem, A\nRET\n"},
      // A run of bytes, one rule each, and a flag.
      {"vary='[1000h]={0,1,2},0..3 CY={0,1}'\ncompare='memory'\n",
       solutionAdd,
       {},
       {{'m', 0x1000, {0, 1, 2}}, {'m', 0x1001, Span(0, 3)}, {'f', 0, {0, 1}}},
       allMemory,
       "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n"},
  };
  for (const auto& row : rows) {
    // The brute force: every input, each on fresh machines, in the order
    // of the sum of the values, then the values in vary's order.
    std::uint64_t inputs = 1;
    for (const BruteItem& item : row.items) inputs *= item.values.size();
    std::uint64_t passed = 0;
    std::vector<std::uint8_t> smallest;
    for (std::uint64_t n = 0; n < inputs; ++n) {
      std::vector<std::uint8_t> values;
      for (std::uint64_t rest = n; const BruteItem& item : row.items) {
        values.push_back(item.values[rest % item.values.size()]);
        rest /= item.values.size();
      }
      RunOutcome want = RunOutcome::kRunning;
      RunOutcome got = RunOutcome::kRunning;
      const auto solution = RunFresh(row.solution, row.given, row.items, values, want);
      const auto program = RunFresh(row.submission, row.given, row.items, values, got);
      if (got == RunOutcome::kHalted && row.same(*program, *solution)) {
        ++passed;
        continue;
      }
      const auto sum = [](const std::vector<std::uint8_t>& v) { return std::accumulate(v.begin(), v.end(), 0U); };
      if (smallest.empty() || sum(values) < sum(smallest) || (sum(values) == sum(smallest) && values < smallest)) {
        smallest = values;
      }
    }
    Exercise exercise;
    ExerciseError error;
    const std::string file =
        "title='t'\ntext='x'\nmax_steps=1000\n[[case]]\nname='a'\nexpect='halt'\n[reference]\n"
        "solution='''\n" +
        row.solution + "'''\n" + row.reference;
    ASSERT_EQ(ParseExercise(file, exercise, error), 0) << error.message << "\n" << file;
    const Grade grade = GradeProgram(exercise, Assemble(row.submission));
    const ReferenceResult& result = grade.cases.back().reference;
    EXPECT_EQ(result.inputs, inputs) << row.submission;
    EXPECT_EQ(result.passed, passed) << row.submission;
    std::vector<std::uint8_t> reported;
    for (const Expectation& item : result.smallestFailing) reported.push_back(static_cast<std::uint8_t>(item.value));
    EXPECT_EQ(reported, smallest) << row.submission;
    EXPECT_EQ(result.mismatches.empty(), smallest.empty()) << row.submission;
    EXPECT_EQ(grade.cases.back().pass, smallest.empty()) << row.submission;
  }
}

TEST(ReferenceTest, RandomInputsShrinkAndRepeatWithTheirSeed) {
  const std::string file =
      "title='t'\ntext='x'\nmax_steps=1000\n[[case]]\nname='a'\nexpect='halt'\n[reference]\npoints=10\npartial=true\n"
      "solution='''\nMVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n'''\n"
      "vary='[1000h]=0..0FFh [1001h]=0..0FFh'\ncompare='[1002h]'\ninputs=200\n";
  const Program hardCoded = Assemble("MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n");
  const auto grade = [&](std::uint64_t seed) {
    Exercise exercise;
    ExerciseError error;
    EXPECT_EQ(ParseExercise(file, exercise, error, seed), 0) << error.message;
    const Grade g = GradeProgram(exercise, hardCoded);
    const CaseResult& c = g.cases.back();
    return std::to_string(c.points) + " " + std::to_string(c.reference.passed) + "/" +
           std::to_string(c.reference.inputs) + " " + WriteInput(c.reference.smallestFailing) + " " +
           (exercise.reference.picks.empty() ? "" : std::to_string(exercise.reference.picks.back()));
  };
  const std::string first = grade(7);
  EXPECT_EQ(grade(7), first);
  EXPECT_NE(grade(8), first);
  // Whatever failure is drawn, lowering each value while it fails reaches
  // the least failing input of all (the brute force of the table above).
  EXPECT_NE(first.find(" [1000h]=00h [1001h]=00h "), std::string::npos) << first;
}

TEST(ReferenceTest, TheTeachersMistakesAreRefused) {
  const std::string head = "title='t'\ntext='x'\n[[case]]\nname='a'\nexpect='halt'\n[reference]\n";
  const struct {
    std::string table;
    const char* error;
  } rows[] = {
      {"solution='MVI A, 1h'\nvary='B=0..3'\ncompare='A'\n",
       "7:1: the reference's solution does not halt on B=00h: it ends in undefined-opcode"},
      {"solution='RET'\nvary='[1000h]=0..0FFh,0..0FFh,0..0FFh'\ncompare='A'\n",
       "6:1: 'vary' has more than 1,048,576 combinations, too many to try them all: give inputs a number of random "
       "ones"},
      {"solution='RET'\nvary='[0000h]=0..3'\ncompare='A'\n",
       "7:1: the reference's solution cannot run: the varied byte [0000h] falls inside the program, which fills 0000h "
       "to "
       "0000h"},
      {"solution='RET'\nvary='B=3..1'\ncompare='A'\n",
       "8:9: 'vary': 'B=3..1': a range runs from low to high, as in 0..0FFh"},
      {"solution='RET'\nvary='B=0..3'\ncompare='A=1'\n",
       "9:10: 'compare': 'A=1': name what is compared without a value, as in \"[1002h] CY\""},
  };
  for (const auto& row : rows) EXPECT_EQ(Errors(head + row.table), row.error) << row.table;
}

}  // namespace
}  // namespace mirvo::test
