// Exercise files and the state syntax. The first byte picks what the rest
// is read as: an exercise file (then graded with a small program), a given
// state or an expected one.
// Invariants: a refused text is placed inside it (an offset within the
// text, a line and column within the file) with a message; an accepted
// state writes back, item by item, into text that reads as the same items;
// an accepted exercise has cases with unique names, each expecting exactly
// one outcome, and grading it scores within its maximum; its learner's copy
// reads back as the same statement with its visible cases. No text reaches
// an assertion of toml++ (the fuzz build keeps them on).

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "Grading.h"

namespace {

using namespace mirvo;

void CheckState(std::string_view text, StateRole role) {
  std::vector<Expectation> items;
  SyntaxError error;
  if (ParseState(text, role, items, error) != 0) {
    FUZZ_CHECK(!error.message.empty());
    FUZZ_CHECK(error.offset <= text.size());
    return;
  }
  std::string written;
  for (const Expectation& item : items) {
    FUZZ_CHECK(item.offset < text.size());
    FUZZ_CHECK(role == StateRole::kExpected ||
               (item.kind != ExpectKind::kOutcome && item.kind != ExpectKind::kProgramCounter &&
                item.kind != ExpectKind::kStackPointer));
    written += WriteItem(item, item.value, item.outcome) + " ";
  }
  std::vector<Expectation> again;
  FUZZ_CHECK(ParseState(written, role, again, error) == 0);
  FUZZ_CHECK(again.size() == items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    FUZZ_CHECK(again[i].kind == items[i].kind && again[i].slot == items[i].slot &&
               again[i].address == items[i].address && again[i].value == items[i].value &&
               again[i].outcome == items[i].outcome);
  }
  // Comparing with a machine, or starting one from a given state, never fails.
  const auto machine = std::make_unique<VirtualMachine>();
  FUZZ_CHECK(Compare(items, *machine, RunOutcome::kHalted).size() <= items.size());
  if (role == StateRole::kGiven) FUZZ_CHECK(ApplyGiven(items, 0, *machine) == 0);
}

void CheckLearnerCopy(const Exercise& exercise) {
  Exercise copy;
  ExerciseError error;
  FUZZ_CHECK(ParseExercise(LearnerExerciseText(exercise), copy, error) == 0);
  FUZZ_CHECK(copy.title == exercise.title && copy.text == exercise.text && copy.starter == exercise.starter);
  FUZZ_CHECK(copy.solution.empty() && copy.wrong.empty() && !HoldsTeacherParts(copy));
  std::size_t visible = 0;
  for (const ExerciseCase& c : exercise.cases) {
    if (c.hidden) continue;
    FUZZ_CHECK(visible < copy.cases.size());
    const ExerciseCase& same = copy.cases[visible++];
    FUZZ_CHECK(same.name == c.name && same.givenText == c.givenText && same.expectText == c.expectText &&
               same.points == c.points && same.expected.size() == c.expected.size());
  }
  FUZZ_CHECK(visible == copy.cases.size());
  FUZZ_CHECK(copy.hiddenCases + copy.cases.size() == exercise.hiddenCases + exercise.cases.size());
}

void CheckExercise(std::string_view text) {
  Exercise exercise;
  ExerciseError error;
  if (ParseExercise(text, exercise, error) != 0) {
    std::size_t lines = 1;
    for (const char ch : text) lines += ch == '\n' ? 1 : 0;
    FUZZ_CHECK(!error.message.empty());
    FUZZ_CHECK(error.line >= 1 && error.line <= lines && error.column >= 1);
    return;
  }
  FUZZ_CHECK(!exercise.cases.empty() || exercise.hiddenCases > 0);
  CheckLearnerCopy(exercise);
  std::set<std::string> names;
  for (const ExerciseCase& c : exercise.cases) {
    FUZZ_CHECK(names.insert(c.name).second);
    std::size_t outcomes = 0;
    for (const Expectation& item : c.expected) outcomes += item.kind == ExpectKind::kOutcome ? 1 : 0;
    FUZZ_CHECK(outcomes == 1);
  }
  // MVI A, 5h; ADD B; RET, with a bounded run.
  exercise.maxSteps = exercise.maxSteps < 1000 ? exercise.maxSteps : 1000;
  const Grade grade = GradeProgram(exercise, Program::FromSource("", "MVI A, 5h\nADD B\nRET\n"));
  FUZZ_CHECK(grade.score <= grade.maxScore && grade.maxScore == exercise.MaxScore());
  FUZZ_CHECK(grade.cases.size() == exercise.cases.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      CheckExercise(text);
      break;
    case 1:
      CheckState(text, StateRole::kGiven);
      break;
    default:
      CheckState(text, StateRole::kExpected);
      break;
  }
  return 0;
}
