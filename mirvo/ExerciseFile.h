#pragma once
// Exercise files as mirvo's commands read them: the mistake, or what the
// reader went past, on standard error as compilers print them.

#include <string>

#include "Exercise.h"

namespace mirvo::cli {

// Parses text, the exercise file at path: its mistake as "PATH:LINE:COLUMN:
// error: MESSAGE", its warnings as "PATH:LINE:COLUMN: warning: MESSAGE".
// 0, or kUsageExit after the mistake (a bad exercise is the teacher's).
int ParseExerciseOrSay(const std::string& path, const std::string& text, Exercise& exercise,
                       std::uint64_t seed = kDefaultSeed);
// Reads the file first (seed: of a reference's random inputs): one that cannot be read is said as Report does.
int ReadExerciseFile(const std::string& path, Exercise& exercise, std::uint64_t seed = kDefaultSeed);

}  // namespace mirvo::cli
