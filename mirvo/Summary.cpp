// mirvo test --summary: what a class did, for the teacher to act on. A pure
// function from grades to text, every name shown as VisibleText says.

#include <algorithm>
#include <cstdio>

#include "ClassSummary.h"
#include "Report.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

// The median of values (not empty), sorted here; ".5" between two.
template <typename T>
std::string Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return std::to_string(values[middle]);
  const T low = values[middle - 1];
  const T high = values[middle];
  return std::to_string(low + (high - low) / 2) + ((high - low) % 2 == 1 ? ".5" : "");
}

std::string OneDecimal(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%.1f", value);
  return buffer;
}

std::string CaseLines(const Exercise& exercise, const ClassSummary& summary, bool showHidden) {
  const std::vector<CaseTally>& tallies = summary.cases;
  std::string text;
  for (std::size_t i = 0; i < tallies.size(); ++i) {
    const CaseTally& tally = tallies[i];
    // Of a hidden case, its number and its counts: the causes of the runs
    // that could not start are the programs', not the case's.
    const bool details = ShowsDetails(exercise.cases[i], showHidden);
    const std::string label = VisibleText(CaseLabel(exercise, i, showHidden)) + (details ? "" : " (hidden)");
    text += "  " + label + ": " + std::to_string(tally.passed) + " passed, " + std::to_string(tally.wrong) + " failed";
    if (!tally.notRun.empty()) {
      std::string causes;
      for (const CauseCount& cause : tally.notRun) {
        causes += (causes.empty() ? "" : ", ") + VisibleText(cause.cause) + ": " + std::to_string(cause.count);
      }
      text += ", " + std::to_string(tally.NotRun()) + " could not run (" + causes + ")";
    }
    text += "\n";
    if (!details) continue;
    for (const WrongResult& wrong : tally.common) {
      text += "    " + VisibleText(wrong.text) + ": " + Counted(wrong.count, "submission", "submissions") + "\n";
    }
  }
  return text;
}

// One bar per score or range of scores (ScoreBars), the longest 30
// characters.
std::string Histogram(const ClassSummary& summary) {
  const std::vector<ScoreBar> bars = ScoreBars(summary);
  std::size_t most = 0;
  std::vector<std::string> labels;
  std::size_t labelWidth = 0;
  for (const ScoreBar& bar : bars) {
    most = std::max(most, bar.count);
    labels.push_back(bar.low == bar.high ? std::to_string(bar.low)
                                         : std::to_string(bar.low) + "-" + std::to_string(bar.high));
    labelWidth = std::max(labelWidth, labels.back().size());
  }
  std::string text;
  for (std::size_t row = 0; row < bars.size(); ++row) {
    const std::size_t count = bars[row].count;
    const std::size_t bar = count == 0 ? 0 : std::max<std::size_t>(1, (count * 30 + most / 2) / most);
    text += "  " + std::string(labelWidth - labels[row].size(), ' ') + labels[row] + " |" + std::string(bar, '#') +
            (count == 0 ? "" : " " + std::to_string(count)) + "\n";
  }
  return text;
}

std::string ClassLines(const std::vector<GradedFile>& graded, const ClassSummary& summary) {
  const unsigned maxScore = summary.maxScore;
  std::vector<unsigned> scores;
  double total = 0;
  std::vector<std::uint32_t> bytes;
  std::vector<std::uint64_t> steps;
  for (const GradedFile& one : graded) {
    scores.push_back(one.grade.score);
    total += one.grade.score;
    if (one.grade.AllPassed()) {
      bytes.push_back(one.grade.bytes);
      steps.push_back(one.grade.Steps());
    }
  }
  std::string text = "Scores out of " + std::to_string(maxScore) + ": mean " +
                     OneDecimal(total / static_cast<double>(scores.size())) + ", median " + Median(scores) + "\n" +
                     Histogram(summary);
  if (bytes.empty()) return text + "No program passed every case\n";
  return text + Counted(bytes.size(), "program", "programs") + " passed every case: bytes min " +
         std::to_string(*std::min_element(bytes.begin(), bytes.end())) + ", median " + Median(bytes) + "; steps min " +
         std::to_string(*std::min_element(steps.begin(), steps.end())) + ", median " + Median(steps) + "\n";
}

// The files of each group that are one program, largest group first.
std::string SameProgramLines(const std::vector<GradedFile>& graded, const ClassSummary& summary) {
  if (summary.same.empty()) return "";
  std::string text = "The same program once comments, spacing and register names are set aside:\n";
  for (const std::vector<std::size_t>& group : summary.same) {
    std::string names;
    for (const std::size_t i : group) names += (names.empty() ? "" : ", ") + VisibleText(graded[i].file);
    text += "  " + std::to_string(group.size()) + ": " + names + "\n";
  }
  return text;
}

}  // namespace

ClassSummary SummariseClass(const Exercise& exercise, const std::vector<GradedFile>& graded, std::size_t keep) {
  std::vector<const Grade*> grades;
  std::vector<std::string> shapes;
  for (const GradedFile& one : graded) {
    grades.push_back(&one.grade);
    shapes.push_back(one.shape);
  }
  return SummariseClass(exercise, grades, shapes, keep);
}

std::string SummaryReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  const ClassSummary summary = SummariseClass(exercise, graded);
  std::string text =
      "Summary of " + Counted(graded.size(), "program", "programs") + "\n" + CaseLines(exercise, summary, showHidden);
  if (graded.empty()) return text;
  return text + ClassLines(graded, summary) + SameProgramLines(graded, summary);
}

}  // namespace mirvo::cli
