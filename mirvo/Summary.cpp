// mirvo test --summary: what a class did, for the teacher to act on. A pure
// function from grades to text, every name shown as VisibleText says.

#include <algorithm>
#include <cstdio>
#include <map>

#include "InstructionSet.h"
#include "Report.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

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

std::string CaseLines(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::vector<const Grade*> grades;
  for (const GradedFile& one : graded) grades.push_back(&one.grade);
  const std::vector<CaseTally> tallies = TallyCases(exercise, grades);
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
      text += "    " + VisibleText(wrong.text) + ": " + Plural(wrong.count, "submission", "submissions") + "\n";
    }
  }
  return text;
}

// One bar per score (or per range of scores when the maximum is above 20),
// the longest 30 characters.
std::string Histogram(const std::vector<GradedFile>& graded, unsigned maxScore) {
  const unsigned width = maxScore <= 20 ? 1 : (maxScore + 10) / 10;
  const unsigned rows = maxScore / width + 1;
  std::vector<std::size_t> counts(rows);
  for (const GradedFile& one : graded) ++counts[std::min(one.grade.score, maxScore) / width];
  const std::size_t most = *std::max_element(counts.begin(), counts.end());
  std::vector<std::string> labels;
  std::size_t labelWidth = 0;
  for (unsigned row = 0; row < rows; ++row) {
    const unsigned low = row * width;
    const unsigned high = std::min(low + width - 1, maxScore);
    labels.push_back(low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high));
    labelWidth = std::max(labelWidth, labels.back().size());
  }
  std::string text;
  for (unsigned row = 0; row < rows; ++row) {
    const std::size_t bar = counts[row] == 0 ? 0 : std::max<std::size_t>(1, (counts[row] * 30 + most / 2) / most);
    text += "  " + std::string(labelWidth - labels[row].size(), ' ') + labels[row] + " |" + std::string(bar, '#') +
            (counts[row] == 0 ? "" : " " + std::to_string(counts[row])) + "\n";
  }
  return text;
}

std::string ClassLines(const std::vector<GradedFile>& graded, unsigned maxScore) {
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
                     Histogram(graded, maxScore);
  if (bytes.empty()) return text + "No program passed every case\n";
  return text + Plural(bytes.size(), "program", "programs") + " passed every case: bytes min " +
         std::to_string(*std::min_element(bytes.begin(), bytes.end())) + ", median " + Median(bytes) + "; steps min " +
         std::to_string(*std::min_element(steps.begin(), steps.end())) + ", median " + Median(steps) + "\n";
}

// The files of each shape that more than one program has, largest group first.
std::string SameProgramLines(const std::vector<GradedFile>& graded) {
  std::map<std::string, std::vector<std::string>> byShape;
  for (const GradedFile& one : graded) {
    if (!one.shape.empty()) byShape[one.shape].push_back(one.file);
  }
  std::vector<const std::vector<std::string>*> groups;
  for (const auto& [shape, files] : byShape) {
    if (files.size() > 1) groups.push_back(&files);
  }
  if (groups.empty()) return "";
  std::stable_sort(groups.begin(), groups.end(), [](const auto* a, const auto* b) { return a->size() > b->size(); });
  std::string text = "The same program once comments, spacing and register names are set aside:\n";
  for (const std::vector<std::string>* files : groups) {
    std::string names;
    for (const std::string& file : *files) names += (names.empty() ? "" : ", ") + VisibleText(file);
    text += "  " + std::to_string(files->size()) + ": " + names + "\n";
  }
  return text;
}

// A 64-bit FNV-1a digest, in hexadecimal: the same for the same bytes on
// every machine.
std::string Digest(std::string_view kind, const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char ch : bytes) hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
  char buffer[17];
  std::snprintf(buffer, sizeof(buffer), "%016llx", static_cast<unsigned long long>(hash));
  return std::string(kind) + buffer;
}

}  // namespace

std::string SummaryReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text =
      "Summary of " + Plural(graded.size(), "program", "programs") + "\n" + CaseLines(exercise, graded, showHidden);
  if (graded.empty()) return text;
  return text + ClassLines(graded, exercise.MaxScore()) + SameProgramLines(graded);
}

std::string SourceShape(const std::vector<StatementRecord>& statements) {
  if (statements.empty()) return "";
  // Each register but A (which ADD and CMP name without saying) becomes the
  // order in which it first appears; Mem and A stay what they are.
  std::array<char, 8> renamed{};
  renamed[kRegM] = 'M';
  renamed[kRegA] = 'A';
  char next = '0';
  const auto name = [&](unsigned code) {
    if (renamed[code] == '\0') renamed[code] = next++;
    return renamed[code];
  };
  std::string shape;
  for (const StatementRecord& statement : statements) {
    const Instruction instruction = kDecodeTable[statement.bytes[0]];
    shape += static_cast<char>(instruction.operation);
    if (instruction.operation == Operation::kUndefined) {
      shape += static_cast<char>(statement.bytes[0]);
      continue;
    }
    const InstructionRow& row = RowOf(instruction.operation);
    if (row.Takes(OperandShape::kDestination)) shape += name(instruction.destination);
    if (row.Takes(OperandShape::kSource)) shape += name(instruction.source);
    if (row.Takes(OperandShape::kImmediate)) shape += static_cast<char>(statement.bytes[1]);
  }
  return Digest("s", shape);
}

std::string ImageShape(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return "";
  return Digest("i", std::string(bytes.begin(), bytes.end()));
}

}  // namespace mirvo::cli
