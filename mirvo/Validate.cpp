// mirvo test --validate: an exercise checked against the programs it
// carries. Its solution must score full marks, and each [[wrong]] program
// must lose points; each line says which cases catch a wrong program, so
// that a teacher sees which cases do the work.

#include <cstdio>
#include <string>

#include "Commands.h"
#include "ExerciseFile.h"
#include "Grading.h"
#include "Output.h"
#include "ProgramFile.h"

namespace mirvo::cli {

namespace {

// A program of the exercise, assembled and graded; error holds why it could
// not be graded ("does not assemble: 2:5: error: ...").
struct Tried {
  Grade grade;
  std::string error;
};

Tried Try(const Exercise& exercise, const std::string& source) {
  Tried tried;
  const Program program = ExerciseProgram(exercise, source);
  if (program.HasErrors()) {
    tried.error =
        std::string(exercise.requiresC ? "does not compile: " : "does not assemble: ") + FirstErrorText(program);
    return tried;
  }
  tried.grade = GradeProgram(exercise, program);
  return tried;
}

std::string Points(const Grade& grade) {
  return std::to_string(grade.score) + "/" + std::to_string(grade.maxScore) + " points";
}

// The cases the grade failed, each with why: "'5 + 7' ([1002h] is 0Bh,
// expected 0Ch), 'wraps' (...)". The teacher sees hidden cases too.
std::string FailedCases(const Exercise& exercise, const Grade& grade) {
  std::string list;
  for (std::size_t i = 0; i < grade.cases.size(); ++i) {
    if (grade.cases[i].pass) continue;
    const std::vector<std::string> problems = CaseProblems(exercise, grade, i, true);
    list += (list.empty() ? "'" : ", '") + CaseLabel(exercise, i, true) + "' (" + problems.front() +
            (problems.size() > 1 ? ", ..." : "") + ")";
  }
  return list;
}

// The reference's solution must pass the fixed cases as well. Says how
// it scored; true when it passed them all.
template <class Say>
bool ReferencePasses(const Exercise& exercise, const Say& say) {
  const Tried reference = Try(exercise, exercise.reference.solution);
  if (!reference.error.empty()) {
    say(exercise.reference.solutionLine, "the reference's solution " + reference.error);
    return false;
  }
  if (!reference.grade.AllPassed()) {
    say(exercise.reference.solutionLine, "the reference's solution scores " + Points(reference.grade) + ": it fails " +
                                             FailedCases(exercise, reference.grade));
    return false;
  }
  say(exercise.reference.solutionLine,
      "the reference's solution scores " + Points(reference.grade) + ": every case passes");
  return true;
}

}  // namespace

int RunValidate(const TestOptions& options) {
  Exercise exercise;
  if (const int status = ReadExerciseFile(options.exercise, exercise); status != 0) return status;
  const std::string& path = options.exercise;
  std::string text;
  bool valid = true;
  const auto say = [&](std::uint32_t line, const std::string& message) {
    text += path + ":" + std::to_string(line) + ": " + message + "\n";
  };
  if (exercise.solutionLine == 0) {
    valid = false;
    text += path + ": no solution: add solution = \"\"\"...\"\"\" with a program that scores full marks\n";
  } else {
    const Tried solution = Try(exercise, exercise.solution);
    if (!solution.error.empty()) {
      valid = false;
      say(exercise.solutionLine, "the solution " + solution.error);
    } else if (!solution.grade.error.empty()) {
      valid = false;
      say(exercise.solutionLine, "the solution scores " + Points(solution.grade) + ": " + solution.grade.error);
    } else if (!solution.grade.AllPassed()) {
      valid = false;
      say(exercise.solutionLine,
          "the solution scores " + Points(solution.grade) + ": it fails " + FailedCases(exercise, solution.grade));
    } else {
      say(exercise.solutionLine, "the solution scores " + Points(solution.grade) + ": every case passes");
    }
  }
  if (exercise.reference.Present()) valid = ReferencePasses(exercise, say) && valid;
  for (const WrongProgram& wrong : exercise.wrong) {
    const std::string name = "the wrong program '" + wrong.name + "'";
    const Tried tried = Try(exercise, wrong.source);
    if (!tried.error.empty()) {
      // A program that cannot run shows nothing of the cases.
      valid = false;
      say(wrong.line, name + " " + tried.error);
    } else if (!tried.grade.error.empty()) {
      say(wrong.line, name + " scores " + Points(tried.grade) + ": " + tried.grade.error);
    } else if (tried.grade.score >= tried.grade.maxScore) {
      valid = false;
      say(wrong.line, name + " scores " + Points(tried.grade) + ": no case takes a point from it");
    } else {
      say(wrong.line, name + " scores " + Points(tried.grade) + ": caught by " + FailedCases(exercise, tried.grade));
    }
  }
  text += path + (valid ? ": valid\n" : ": not valid\n");
  Output out;
  out.OpenStandardOutput();
  out.Write(text);
  if (out.Commit() != 0) return 1;
  return valid ? 0 : 1;
}

}  // namespace mirvo::cli
