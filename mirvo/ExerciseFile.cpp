#include "ExerciseFile.h"

#include <cstdio>

#include "Output.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

void Say(const std::string& path, const ExerciseError& place, const char* severity) {
  // The message may quote the file's text: shown whole, a NUL byte included.
  std::fprintf(stderr, "%s:%u:%u: %s: %s\n", path.c_str(), static_cast<unsigned>(place.line),
               static_cast<unsigned>(place.column), severity, VisibleText(place.message).c_str());
}

}  // namespace

int ParseExerciseOrSay(const std::string& path, const std::string& text, Exercise& exercise, std::uint64_t seed) {
  ExerciseError error;
  if (ParseExercise(text, exercise, error, seed) != 0) {
    Say(path, error, "error");
    return kUsageExit;
  }
  for (const ExerciseError& warning : exercise.warnings) Say(path, warning, "warning");
  return 0;
}

int ReadExerciseFile(const std::string& path, Exercise& exercise, std::uint64_t seed) {
  std::string text;
  std::string reason;
  if (ReadWholeFile(path, text, reason) != 0) {
    Report("%s", reason.c_str());
    return kUsageExit;
  }
  return ParseExerciseOrSay(path, text, exercise, seed);
}

}  // namespace mirvo::cli
