// mirvo test --format html: what a class did, as one page a teacher opens
// from disk. A pure function from grades to text: every name and message
// written by HtmlText, the page fetching nothing (its policy forbids it),
// its drawings inline SVG, its one script only sorting the table.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "Report.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

constexpr const char* kStyle = R"(
:root { color-scheme: light; --ink: #1b1b1f; --muted: #4a4a55; --line: #c8c8d0; --pass: #1d5fa8; --fail: #a8261d;
  --best: #0b6b3a; --solution: #7a3d00; font-family: system-ui, sans-serif; line-height: 1.45; }
body { margin: 0; color: var(--ink); background: #fff; }
main { max-width: 60rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.6rem; margin: .2rem 0 .6rem; }
h2 { font-size: 1.25rem; margin: 1.8rem 0 .5rem; border-bottom: 1px solid var(--line); }
h3 { font-size: 1.05rem; margin: 1rem 0 .3rem; }
svg { display: block; width: 100%; height: auto; }
svg text { fill: var(--ink); font-size: 13px; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: .35rem .5rem; border-bottom: 1px solid var(--line); vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
th button { font: inherit; font-weight: bold; border: 0; background: none; padding: 0; cursor: pointer;
  color: var(--ink); text-decoration: underline; }
summary { cursor: pointer; }
.name, li { overflow-wrap: anywhere; }
.pass { color: var(--pass); } .fail { color: var(--fail); }
.muted { color: var(--muted); }
ul { padding-left: 1.3rem; margin: .2rem 0; }
li:has(> details) { list-style: none; margin-left: -1rem; }
.share td:nth-child(2) { width: 45%; min-width: 8rem; }
@media (max-width: 40rem) {
  main { padding: .6rem; }
  svg text { font-size: 26px; }
  table[data-sortable] tr { display: grid; grid-template-columns: repeat(3, 1fr); }
  table[data-sortable] th:first-child, table[data-sortable] td.name { grid-column: 1 / -1; border-bottom: 0; }
}
)";

// Sorts the students' table by a column: numbers by their data-sort, names
// as text. It adds the buttons itself, so that the table without it has
// none that do nothing.
constexpr const char* kScript = R"(
for (const table of document.querySelectorAll('table[data-sortable]')) {
  const heads = [...table.tHead.rows[0].cells];
  heads.forEach((head, column) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = head.textContent;
    head.replaceChildren(button);
    button.addEventListener('click', () => {
      const up = head.getAttribute('aria-sort') !== 'ascending';
      heads.forEach((other) => other.removeAttribute('aria-sort'));
      head.setAttribute('aria-sort', up ? 'ascending' : 'descending');
      const key = (row) => row.cells[column].dataset.sort;
      const rows = [...table.tBodies[0].rows];
      rows.sort((a, b) => {
        const x = key(a), y = key(b);
        const order = head.dataset.kind === 'text' ? x.localeCompare(y) : Number(x) - Number(y);
        return up ? order : -order;
      });
      table.tBodies[0].append(...rows);
    });
  });
}
)";

using std::to_string;

// The name a row goes by: the student's, else the file's.
const std::string& NameOf(const GradedFile& one) { return one.student.empty() ? one.file : one.student; }

std::string Names(const std::vector<std::size_t>& grades, const std::vector<GradedFile>& graded) {
  std::string text;
  for (const std::size_t i : grades) text += (text.empty() ? "" : ", ") + HtmlText(NameOf(graded[i]));
  return text;
}

// A number with at most one decimal, for SVG coordinates.
std::string Coord(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%.1f", value);
  return buffer;
}

// The histogram of the scores: a bar per score or range, its count above it.
std::string ScoreSection(const ClassSummary& summary) {
  const std::vector<ScoreBar> bars = ScoreBars(summary);
  std::size_t most = 1;
  for (const ScoreBar& bar : bars) most = std::max(most, bar.count);
  const double width = 600.0 / static_cast<double>(bars.size());
  std::string words;
  std::string shapes;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const ScoreBar& bar = bars[i];
    const std::string label = bar.low == bar.high ? to_string(bar.low) : to_string(bar.low) + "–" + to_string(bar.high);
    words += (words.empty() ? "" : ", ") + label + ": " + to_string(bar.count);
    const double height = 150.0 * static_cast<double>(bar.count) / static_cast<double>(most);
    const double x = 20 + width * static_cast<double>(i);
    shapes += "<rect x=\"" + Coord(x + width * 0.1) + "\" y=\"" + Coord(180 - height) + "\" width=\"" +
              Coord(width * 0.8) + "\" height=\"" + Coord(height) + "\" fill=\"#1d5fa8\"/>";
    shapes += "<text x=\"" + Coord(x + width / 2) + "\" y=\"" + Coord(174 - height) + "\" text-anchor=\"middle\">" +
              to_string(bar.count) + "</text>";
    shapes += "<text x=\"" + Coord(x + width / 2) + "\" y=\"198\" text-anchor=\"middle\">" + label + "</text>";
  }
  return "<section aria-labelledby=\"scores\"><h2 id=\"scores\">Scores out of " + to_string(summary.maxScore) +
         "</h2>\n<svg viewBox=\"0 0 640 210\" role=\"img\" aria-labelledby=\"scores-words\"><title id=\"scores-words\">"
         "Programs by score: " +
         words + "</title><line x1=\"20\" y1=\"180\" x2=\"620\" y2=\"180\" stroke=\"#4a4a55\"/>" + shapes +
         "</svg>\n</section>\n";
}

// Per case, the share of programs that passed: a row with a bar.
std::string ShareSection(const Exercise& exercise, const ClassSummary& summary, std::size_t programs, bool showHidden) {
  std::string rows;
  for (std::size_t i = 0; i < summary.cases.size(); ++i) {
    const CaseTally& tally = summary.cases[i];
    const bool details = ShowsDetails(exercise.cases[i], showHidden);
    const double share = programs == 0 ? 0 : static_cast<double>(tally.passed) / static_cast<double>(programs);
    const std::string words = to_string(tally.passed) + " of " + to_string(programs) + " passed";
    rows += "<tr><th scope=\"row\" class=\"name\">" + HtmlText(CaseLabel(exercise, i, showHidden)) +
            (details ? "" : " (hidden)") + "</th><td><svg viewBox=\"0 0 200 14\" role=\"img\" aria-label=\"" + words +
            "\"><rect width=\"200\" height=\"14\" fill=\"#e9e9ee\"/><rect width=\"" + Coord(200 * share) +
            "\" height=\"14\" fill=\"#1d5fa8\"/></svg></td><td class=\"n\">" + words + "</td></tr>\n";
  }
  return "<section aria-labelledby=\"cases\"><h2 id=\"cases\">Cases</h2>\n<div class=\"scroll\"><table class=\"share\">"
         "<thead><tr><th scope=\"col\">Case</th><th scope=\"col\">Share that passed</th><th scope=\"col\" "
         "class=\"n\">Programs</th></tr></thead><tbody>\n" +
         rows + "</tbody></table></div>\n</section>\n";
}

// Per case, what went wrong, grouped as the summary groups it (TallyCases),
// each group with its students.
// A group of programs: what they share and how many, opening to their names.
std::string Group(const std::string& what, const std::vector<std::size_t>& grades,
                  const std::vector<GradedFile>& graded) {
  return "<li><details><summary>" + what + ": " + Counted(grades.size(), "program", "programs") + "</summary>" +
         Names(grades, graded) + "</details></li>\n";
}

std::string WrongSection(const Exercise& exercise, const ClassSummary& summary, const std::vector<GradedFile>& graded,
                         bool showHidden) {
  std::string text;
  for (std::size_t i = 0; i < summary.cases.size(); ++i) {
    const CaseTally& tally = summary.cases[i];
    if (tally.wrong == 0 && tally.notRun.empty()) continue;
    const bool details = ShowsDetails(exercise.cases[i], showHidden);
    std::string items;
    for (const CauseCount& cause : tally.notRun) {
      items += Group("could not run (" + HtmlText(cause.cause) + ")", cause.grades, graded);
    }
    std::size_t shown = 0;
    for (const WrongResult& wrong : tally.common) {
      if (!details) break;
      shown += wrong.count;
      items += Group(HtmlText(wrong.text), wrong.grades, graded);
    }
    if (!details && tally.wrong > 0) {
      items += "<li>a wrong result (not shown: the case is hidden): " + Counted(tally.wrong, "program", "programs") +
               "</li>\n";
    } else if (tally.wrong > shown) {
      items += "<li class=\"muted\">" + Counted(tally.wrong - shown, "other wrong result", "other wrong results") +
               "</li>\n";
    }
    text += "<h3 class=\"name\">" + HtmlText(CaseLabel(exercise, i, showHidden)) + (details ? "" : " (hidden)") +
            "</h3>\n<ul>\n" + items + "</ul>\n";
  }
  if (text.empty()) text = "<p>Every program passed every case.</p>\n";
  return "<section aria-labelledby=\"wrong\"><h2 id=\"wrong\">What went wrong</h2>\n" + text + "</section>\n";
}

// Where a point of the scatter goes: bytes across, steps up, from 0 to a
// little past the largest.
struct Scale {
  double bytes = 0;  // the lowest and the span of each
  double steps = 0;
  double bytesSpan = 0;
  double stepsSpan = 0;
  double X(double value) const { return 80 + 540 * (value - bytes) / bytesSpan; }
  double Y(double value) const { return 300 - 270 * (value - steps) / stepsSpan; }
};

// From a little below the least to a little past the most, in whole numbers.
void Fit(double least, double most, double& low, double& span) {
  const double margin = std::max(1.0, std::ceil((most - least) * 0.1));
  low = std::max(0.0, least - margin);
  span = most + margin - low;
}

std::string Axes(const Scale& scale) {
  std::string text =
      "<line x1=\"80\" y1=\"300\" x2=\"620\" y2=\"300\" stroke=\"#4a4a55\"/>"
      "<line x1=\"80\" y1=\"30\" x2=\"80\" y2=\"300\" stroke=\"#4a4a55\"/>";
  for (int part = 0; part <= 2; ++part) {
    // Whole numbers at the ends and the middle, each where it belongs.
    const double bytes = std::floor(scale.bytes + scale.bytesSpan * part / 2);
    const double steps = std::floor(scale.steps + scale.stepsSpan * part / 2);
    text += "<text x=\"" + Coord(scale.X(bytes)) + "\" y=\"318\" text-anchor=\"middle\">" +
            to_string(static_cast<unsigned long long>(bytes)) + "</text>";
    text += "<text x=\"72\" y=\"" + Coord(scale.Y(steps) + 4) + "\" text-anchor=\"end\">" +
            to_string(static_cast<unsigned long long>(steps)) + "</text>";
  }
  return text +
         "<text x=\"350\" y=\"352\" text-anchor=\"middle\">bytes</text>"
         "<text x=\"24\" y=\"165\" text-anchor=\"middle\" transform=\"rotate(-90 24 165)\">steps</text>";
}

// The programs at one point of the scatter.
struct Spot {
  bool best = false;
  std::vector<std::size_t> grades;
};
using Spots = std::map<std::pair<std::uint32_t, std::uint64_t>, Spot>;

std::string Where(std::uint32_t bytes, std::uint64_t steps) {
  return to_string(bytes) + " bytes, " + to_string(steps) + " steps";
}

// A mark per point, with the number of programs there when more than one.
std::string Marks(const Scale& scale, const Spots& spots, const std::vector<GradedFile>& graded) {
  std::string text;
  for (const auto& [where, spot] : spots) {
    const double x = scale.X(where.first);
    const double y = scale.Y(static_cast<double>(where.second));
    const std::string title = "<title>" + Where(where.first, where.second) + (spot.best ? " (best)" : "") + ": " +
                              Names(spot.grades, graded) + "</title>";
    text += spot.best ? "<circle cx=\"" + Coord(x) + "\" cy=\"" + Coord(y) + "\" r=\"7\" fill=\"#0b6b3a\">"
                      : "<circle cx=\"" + Coord(x) + "\" cy=\"" + Coord(y) +
                            "\" r=\"5\" fill=\"none\" stroke=\"#1d5fa8\" stroke-width=\"2\">";
    text += title + "</circle>";
    if (spot.grades.size() > 1) {
      text +=
          "<text x=\"" + Coord(x + 11) + "\" y=\"" + Coord(y - 6) + "\">×" + to_string(spot.grades.size()) + "</text>";
    }
  }
  return text;
}

// Bytes against steps of the programs that passed every case, the best
// (the Pareto front) filled and listed, the solution a diamond.
std::string ScatterSection(const ClassSummary& summary, const std::vector<GradedFile>& graded, const Grade* solution) {
  std::string text = "<section aria-labelledby=\"best\"><h2 id=\"best\">Bytes and steps</h2>\n";
  const bool ownPoint = solution != nullptr && solution->AllPassed();
  if (summary.passing.empty() && !ownPoint) return text + "<p>No program passed every case.</p>\n</section>\n";
  Spots spots;
  for (const ClassPoint& point : summary.passing) {
    Spot& spot = spots[{point.bytes, point.steps}];
    spot.best = point.best;
    spot.grades.push_back(point.grade);
  }
  if (ownPoint) spots.try_emplace({solution->bytes, solution->Steps()});
  Scale scale;
  const auto [fewestSteps, mostSteps] = std::minmax_element(
      spots.begin(), spots.end(), [](const auto& a, const auto& b) { return a.first.second < b.first.second; });
  Fit(spots.begin()->first.first, spots.rbegin()->first.first, scale.bytes, scale.bytesSpan);
  Fit(static_cast<double>(fewestSteps->first.second), static_cast<double>(mostSteps->first.second), scale.steps,
      scale.stepsSpan);
  const std::string points = Marks(scale, spots, graded);
  std::string best;
  for (const auto& [where, spot] : spots) {
    if (spot.best) best += "<li>" + Where(where.first, where.second) + ": " + Names(spot.grades, graded) + "</li>\n";
  }
  std::string own;
  if (ownPoint) {
    const double x = scale.X(solution->bytes);
    const double y = scale.Y(static_cast<double>(solution->Steps()));
    own = "<path d=\"M" + Coord(x) + " " + Coord(y - 8) +
          "l8 8l-8 8l-8 -8z\" fill=\"none\" stroke=\"#7a3d00\" "
          "stroke-width=\"2.5\"><title>The solution: " +
          to_string(solution->bytes) + " bytes, " + to_string(solution->Steps()) + " steps</title></path>";
    best += "<li class=\"muted\">The solution: " + Where(solution->bytes, solution->Steps()) + "</li>\n";
  }
  return text + "<svg viewBox=\"0 0 640 362\" role=\"img\" aria-labelledby=\"best-words\"><title id=\"best-words\">" +
         Counted(summary.passing.size(), "program", "programs") +
         " that passed every case, by bytes and steps</title>" + Axes(scale) + points + own +
         "</svg>\n<p class=\"muted\">Filled: the best, which no other program beats in both bytes and steps; "
         "hollow: the others; diamond: the solution.</p>\n<ul>\n" +
         best + "</ul>\n</section>\n";
}

std::string SameSection(const ClassSummary& summary, const std::vector<GradedFile>& graded) {
  if (summary.same.empty()) return "";
  std::string items;
  for (const std::vector<std::size_t>& group : summary.same) {
    items += "<li>" + to_string(group.size()) + ": " + Names(group, graded) + "</li>\n";
  }
  return "<section aria-labelledby=\"same\"><h2 id=\"same\">The same program</h2>\n<p>Once comments, spacing and "
         "register names are set aside:</p>\n<ul>\n" +
         items + "</ul>\n</section>\n";
}

// What a row opens to: the file, the note, and each case with its points,
// why it failed and what the checks found.
std::string RowDetails(const Exercise& exercise, const GradedFile& one, bool showHidden) {
  std::string text;
  if (!one.student.empty()) text += "<p>File: " + HtmlText(one.file) + "</p>";
  if (!one.note.empty()) text += "<p>Note: " + HtmlText(one.note) + "</p>";
  if (!one.grade.error.empty()) text += "<p class=\"fail\">" + HtmlText(one.grade.error) + "</p>";
  text += "<ul>";
  for (std::size_t i = 0; i < one.grade.cases.size(); ++i) {
    const CaseResult& result = one.grade.cases[i];
    text += "<li><span class=\"" + std::string(result.pass ? "pass\">passed" : "fail\">failed") + "</span> " +
            HtmlText(CaseLabel(exercise, i, showHidden)) + " (" + to_string(result.points) + "/" +
            to_string(exercise.cases[i].points) + ")";
    std::string lines;
    if (one.grade.error.empty()) {
      for (const std::string& line : CaseProblems(exercise, one.grade, i, showHidden)) {
        lines += "<li>" + HtmlText(line) + "</li>";
      }
    }
    for (const std::string& line : CaseCheckLines(exercise, one.grade, i, showHidden)) {
      lines += "<li class=\"muted\">" + HtmlText(line) + "</li>";
    }
    text += (lines.empty() ? "" : "<ul>" + lines + "</ul>") + "</li>";
  }
  return text + "</ul>";
}

std::string StudentSection(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string rows;
  for (const GradedFile& one : graded) {
    const Grade& grade = one.grade;
    const bool ran = grade.error.empty();
    const std::string name = HtmlText(NameOf(one));
    rows += "<tr><td class=\"name\" data-sort=\"" + name + "\"><details><summary>" + name + "</summary>" +
            RowDetails(exercise, one, showHidden) + "</details></td><td class=\"n\" data-sort=\"" +
            to_string(grade.score) + "\">" + to_string(grade.score) + "/" + to_string(grade.maxScore) +
            "</td><td class=\"n\" data-sort=\"" + (ran ? to_string(grade.bytes) : "-1") + "\">" +
            (ran ? to_string(grade.bytes) : "–") + "</td><td class=\"n\" data-sort=\"" +
            (ran ? to_string(grade.Steps()) : "-1") + "\">" + (ran ? to_string(grade.Steps()) : "–") + "</td></tr>\n";
  }
  return "<section aria-labelledby=\"programs\"><h2 id=\"programs\">Programs</h2>\n<div class=\"scroll\"><table "
         "data-sortable><thead><tr><th scope=\"col\" data-kind=\"text\">Name</th><th scope=\"col\" "
         "class=\"n\">Score</th><th scope=\"col\" class=\"n\">Bytes</th><th scope=\"col\" class=\"n\">Steps</th>"
         "</tr></thead><tbody>\n" +
         rows + "</tbody></table></div>\n</section>\n";
}

}  // namespace

std::string HtmlReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden,
                       const Grade* solution) {
  // Every wrong result of a case is a group of its own here: a page has room.
  const ClassSummary summary = SummariseClass(exercise, graded, 20);
  const std::string title = HtmlText(exercise.title);
  const std::size_t passed = summary.passing.size();
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"viewport\" "
         "content=\"width=device-width, initial-scale=1\">\n<meta http-equiv=\"Content-Security-Policy\" "
         "content=\"default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n<title>" +
         title + ": the class</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<main>\n<h1>" + title +
         "</h1>\n<p>" + Counted(graded.size(), "program", "programs") + ", " + to_string(passed) +
         " passed every case.</p>\n" + ScoreSection(summary) +
         ShareSection(exercise, summary, graded.size(), showHidden) +
         WrongSection(exercise, summary, graded, showHidden) + ScatterSection(summary, graded, solution) +
         SameSection(summary, graded) + StudentSection(exercise, graded, showHidden) + "</main>\n<script>" + kScript +
         "</script>\n</body>\n</html>\n";
}

}  // namespace mirvo::cli
