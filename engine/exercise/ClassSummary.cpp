#include "ClassSummary.h"

#include <algorithm>
#include <map>

namespace mirvo {

namespace {

// Marks the points that no other point beats in both bytes and steps: in
// the order of bytes then steps, a point is best when it has the fewest
// steps of its bytes and fewer than every point of fewer bytes.
void MarkBest(std::vector<ClassPoint>& points) {
  std::vector<ClassPoint*> order;
  for (ClassPoint& point : points) order.push_back(&point);
  std::sort(order.begin(), order.end(), [](const ClassPoint* a, const ClassPoint* b) {
    return a->bytes != b->bytes ? a->bytes < b->bytes : a->steps < b->steps;
  });
  bool anyBefore = false;
  std::uint64_t fewestBefore = 0;
  for (std::size_t i = 0; i < order.size();) {
    const std::uint32_t bytes = order[i]->bytes;
    const std::uint64_t fewest = order[i]->steps;
    for (; i < order.size() && order[i]->bytes == bytes; ++i) {
      order[i]->best = order[i]->steps == fewest && (!anyBefore || fewest < fewestBefore);
    }
    fewestBefore = anyBefore ? std::min(fewestBefore, fewest) : fewest;
    anyBefore = true;
  }
}

std::vector<std::vector<std::size_t>> SameShape(const std::vector<std::string>& shapes) {
  std::map<std::string, std::vector<std::size_t>> byShape;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    if (!shapes[i].empty()) byShape[shapes[i]].push_back(i);
  }
  std::vector<std::vector<std::size_t>> groups;
  for (auto& [shape, members] : byShape) {
    if (members.size() > 1) groups.push_back(std::move(members));
  }
  // Largest first; groups of one size in the order of their shapes.
  std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  return groups;
}

}  // namespace

std::vector<ScoreBar> ScoreBars(const ClassSummary& summary) {
  const unsigned top = summary.maxScore;
  const unsigned width = top <= 20 ? 1 : (top + 10) / 10;
  std::vector<ScoreBar> bars;
  for (unsigned low = 0; low <= top; low += width) {
    ScoreBar bar{low, std::min(low + width - 1, top), 0};
    for (unsigned score = bar.low; score <= bar.high; ++score) bar.count += summary.scores[score];
    bars.push_back(bar);
  }
  return bars;
}

ClassSummary SummariseClass(const Exercise& exercise, const std::vector<const Grade*>& grades,
                            const std::vector<std::string>& shapes, std::size_t keep) {
  ClassSummary summary;
  summary.maxScore = exercise.MaxScore();
  summary.scores.assign(summary.maxScore + 1, 0);
  for (std::size_t i = 0; i < grades.size(); ++i) {
    const Grade& grade = *grades[i];
    ++summary.scores[std::min(grade.score, summary.maxScore)];
    if (grade.AllPassed()) summary.passing.push_back({i, grade.bytes, grade.Steps(), false});
  }
  MarkBest(summary.passing);
  summary.cases = TallyCases(exercise, grades, keep);
  summary.same = SameShape(shapes);
  return summary;
}

}  // namespace mirvo
