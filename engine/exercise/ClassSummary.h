#pragma once
// What a class did in an exercise, as data that every class report draws
// (mirvo test --summary, --format html, the "class" line of --format json):
// the scores, each case's tally, the programs that passed every case with
// the best of them, and the programs that are one program. Pure: grades in,
// numbers and indices out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Grading.h"

namespace mirvo {

// A program that passed every case, by its index among the grades, its
// bytes and the steps of all its cases. best: no other such program has
// fewer bytes and no more steps, or fewer steps and no more bytes (the
// Pareto front of the two).
struct ClassPoint {
  std::size_t grade = 0;
  std::uint32_t bytes = 0;
  std::uint64_t steps = 0;
  bool best = false;
};

struct ClassSummary {
  unsigned maxScore = 0;
  std::vector<unsigned> scores;                // scores[s]: the grades that scored s, s from 0 to maxScore
  std::vector<CaseTally> cases;                // TallyCases, one per case of the exercise
  std::vector<ClassPoint> passing;             // in the grades' order
  std::vector<std::vector<std::size_t>> same;  // grades of one shape, two or more each, largest group first
};

// A bar of a histogram of the scores: the grades that scored low to high.
struct ScoreBar {
  unsigned low = 0;
  unsigned high = 0;
  std::size_t count = 0;
};
// One bar per score, or per range of scores when the maximum is above 20
// (about ten bars then), lowest first.
std::vector<ScoreBar> ScoreBars(const ClassSummary& summary);

// shapes: one per grade (ProgramShape.h), empty for a program that has
// none; keep: the commonest wrong results kept per case (TallyCases).
ClassSummary SummariseClass(const Exercise& exercise, const std::vector<const Grade*>& grades,
                            const std::vector<std::string>& shapes, std::size_t keep);

}  // namespace mirvo
