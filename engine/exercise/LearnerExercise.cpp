// The learner's copy of an exercise, written as TOML for a link.

#include <cstdio>

#include "Exercise.h"

namespace mirvo {

namespace {

// A TOML basic string, multi-line when the text has line ends: quotes,
// backslashes and control characters escaped, nothing else changed.
std::string Quoted(const std::string& text) {
  const bool multiline = text.find('\n') != std::string::npos;
  // The line end after the opening quotes is not part of the string.
  std::string out = multiline ? "\"\"\"\n" : "\"";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (ch == '\n' && multiline) {
      out += '\n';
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04X", byte);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + (multiline ? "\"\"\"" : "\"");
}

std::int64_t HiddenCount(const Exercise& exercise) {
  std::int64_t count = exercise.hiddenCases;
  for (const ExerciseCase& c : exercise.cases) count += c.hidden || c.reference ? 1 : 0;
  return count < kMaxHiddenCases ? count : kMaxHiddenCases;
}

}  // namespace

bool HoldsTeacherParts(const Exercise& exercise) {
  for (const ExerciseCase& c : exercise.cases) {
    if (c.hidden) return true;
  }
  return exercise.reference.Present() || !exercise.solution.empty() || exercise.solutionLine != 0 ||
         !exercise.wrong.empty();
}

std::string LearnerExerciseText(const Exercise& exercise) {
  std::string out = "title = " + Quoted(exercise.title) + "\ntext = " + Quoted(exercise.text) + "\n";
  if (!exercise.starter.empty()) out += "starter = " + Quoted(exercise.starter) + "\n";
  if (exercise.maxSteps != kStepLimit) out += "max_steps = " + std::to_string(exercise.maxSteps) + "\n";
  if (exercise.maxBytes != kMemorySize) out += "max_bytes = " + std::to_string(exercise.maxBytes) + "\n";
  if (exercise.leaderboard) out += "leaderboard = true\n";
  if (exercise.requiresC) out += "language = \"c\"\n";
  if (const std::int64_t hidden = HiddenCount(exercise); hidden > 0) {
    out += "hidden_cases = " + std::to_string(hidden) + "\n";
  }
  for (const ExerciseCase& c : exercise.cases) {
    if (c.hidden || c.reference) continue;
    out += "\n[[case]]\nname = " + Quoted(c.name) + "\n";
    if (!c.givenText.empty()) out += "given = " + Quoted(c.givenText) + "\n";
    out += "expect = " + Quoted(c.expectText) + "\n";
    if (c.points != 1) out += "points = " + std::to_string(c.points) + "\n";
  }
  return out;
}

}  // namespace mirvo
