#include "Report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "ExerciseJson.h"
#include "JsonText.h"
#include "TextEscape.h"

namespace mirvo::cli {

namespace {

using Json = nlohmann::ordered_json;

// What a report may say about case i of a grade.
struct CaseView {
  std::string label;                  // the case's name, or "case N" for a hidden one
  bool hiddenDetails = false;         // the mismatches are withheld
  std::vector<std::string> problems;  // why it failed, in words; empty if it passed
  std::string got;                    // the wrong values in the state syntax
  std::string expected;               // what they should have been
  bool error = false;                 // it could not run at all
};

CaseView ViewOf(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden) {
  const ExerciseCase& c = exercise.cases[i];
  const CaseResult& result = grade.cases[i];
  CaseView view;
  view.hiddenDetails = !ShowsDetails(c, showHidden);
  view.label = CaseLabel(exercise, i, showHidden);
  view.problems = CaseProblems(exercise, grade, i, showHidden);
  view.error = !result.pass && (!grade.error.empty() || !result.error.empty());
  if (view.hiddenDetails || view.error) return view;
  for (const Mismatch& mismatch : result.mismatches) {
    const Expectation& item = ExpectedOf(c, result)[mismatch.item];
    view.got += (view.got.empty() ? "" : " ") + WriteItem(item, mismatch.actualValue, mismatch.actualOutcome);
    view.expected += (view.expected.empty() ? "" : " ") + WriteItem(item, item.value, item.outcome);
  }
  return view;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

// True when rows are students (graded one folder per student), which the
// CSV and JSON reports then name in columns of their own.
bool ByStudent(const std::vector<GradedFile>& graded) {
  return std::any_of(graded.begin(), graded.end(), [](const GradedFile& one) { return !one.student.empty(); });
}

std::string Points(const Grade& grade) {
  return "(" + std::to_string(grade.score) + "/" + std::to_string(grade.maxScore) + ")";
}

// Lines of element text, each escaped, kept as lines.
std::string XmlLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + XmlText(line);
  return text;
}

// Lines for people, each shown as VisibleText says, kept as lines.
std::string VisibleLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + VisibleText(line);
  return text;
}

std::string Property(const char* name, unsigned value) {
  return "        <property name=\"" + std::string(name) + "\" value=\"" + std::to_string(value) + "\"/>\n";
}

}  // namespace

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::vector<std::string> CaseCheckLines(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden) {
  std::vector<std::string> lines;
  if (!ShowsDetails(exercise.cases[i], showHidden)) return lines;
  const CaseResult& result = grade.cases[i];
  for (const CheckFinding& finding : result.checks) {
    const std::string where = finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : "";
    lines.push_back("warning: " + where + finding.message + " [-W" + CheckRowOf(finding.id).name + "]");
  }
  if (result.checksLeftOut > 0) {
    lines.push_back("... and " + std::to_string(result.checksLeftOut) +
                    (result.checksLeftOut == 1 ? " more warning" : " more warnings"));
  }
  return lines;
}

std::string TextReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text;
  std::size_t passed = 0;
  for (const GradedFile& one : graded) {
    const Grade& grade = one.grade;
    const bool pass = grade.AllPassed();
    passed += pass ? 1 : 0;
    text += (pass ? "PASS " : "FAIL ") + VisibleText(one.file) + " " + Points(grade);
    text += (grade.error.empty() ? "" : ": " + VisibleText(grade.error)) + "\n";
    if (!one.note.empty()) text += "  note: " + VisibleText(one.note) + "\n";
    if (!grade.error.empty()) continue;
    for (std::size_t i = 0; i < grade.cases.size(); ++i) {
      const CaseView view = ViewOf(exercise, grade, i, showHidden);
      const std::string label = VisibleText(view.label);
      if (grade.cases[i].pass) {
        // A case that passed still shows what the checks found.
      } else if (view.hiddenDetails) {
        text += "  " + label + " (hidden) failed\n";
      } else {
        text += "  " + label + ": " + VisibleText(Join(view.problems, "; ")) + "\n";
      }
      for (const std::string& line : CaseCheckLines(exercise, grade, i, showHidden)) {
        text += "  " + label + ": " + VisibleText(line) + "\n";
      }
    }
  }
  return text + std::to_string(passed) + " passed, " + std::to_string(graded.size() - passed) + " failed\n";
}

std::string JsonReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text;
  const bool students = ByStudent(graded);
  for (const GradedFile& one : graded) {
    // The student's columns follow the file, the note the grade's totals.
    Json line = {{"file", one.file}};
    if (students) {
      line["student"] = one.student;
      line["id"] = one.studentId;
    }
    GradeTotalsInto(one.grade, line);
    if (!one.note.empty()) line["note"] = one.note;
    line["cases"] = GradeCasesJson(exercise, one.grade, showHidden);
    text += DumpJson(line) + "\n";
  }
  return text;
}

std::string JunitReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string suites;
  std::size_t tests = 0;
  std::size_t failures = 0;
  std::size_t errors = 0;
  for (const GradedFile& one : graded) {
    std::string cases;
    std::size_t suiteFailures = 0;
    std::size_t suiteErrors = 0;
    for (std::size_t i = 0; i < one.grade.cases.size(); ++i) {
      const CaseView view = ViewOf(exercise, one.grade, i, showHidden);
      cases += "    <testcase classname=\"" + XmlText(one.file) + "\" name=\"" + XmlText(view.label) +
               "\">\n      <properties>\n" + Property("points", one.grade.cases[i].points) +
               Property("max_points", exercise.cases[i].points) + "      </properties>\n";
      if (!view.problems.empty()) {
        const char* element = view.error ? "error" : "failure";
        (view.error ? suiteErrors : suiteFailures) += 1;
        cases += "      <" + std::string(element) + " message=\"" + XmlText(Join(view.problems, "; ")) + "\">" +
                 XmlLines(view.problems) + "</" + element + ">\n";
      }
      cases += "    </testcase>\n";
    }
    suites += "  <testsuite name=\"" + XmlText(one.file) + "\" tests=\"" + std::to_string(one.grade.cases.size()) +
              "\" failures=\"" + std::to_string(suiteFailures) + "\" errors=\"" + std::to_string(suiteErrors) +
              "\">\n" + cases + "  </testsuite>\n";
    tests += one.grade.cases.size();
    failures += suiteFailures;
    errors += suiteErrors;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" + XmlText(exercise.title) + "\" tests=\"" +
         std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
         "\">\n" + suites + "</testsuites>\n";
}

std::string TapReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden,
                      int tapVersion) {
  std::string text = "TAP version " + std::to_string(tapVersion) + "\n1.." +
                     std::to_string(graded.size() * exercise.cases.size()) + "\n";
  std::size_t number = 0;
  for (const GradedFile& one : graded) {
    for (std::size_t i = 0; i < one.grade.cases.size(); ++i) {
      const CaseView view = ViewOf(exercise, one.grade, i, showHidden);
      text += (view.problems.empty() ? "ok " : "not ok ") + std::to_string(++number) + " - " +
              TapDescription(one.file + ": " + view.label) +
              "\n  ---\n  points: " + std::to_string(one.grade.cases[i].points) +
              "\n  max_points: " + std::to_string(exercise.cases[i].points) + "\n";
      if (!view.problems.empty()) {
        text += "  message: " + YamlString(Join(view.problems, "; ")) + "\n  severity: fail\n";
        if (!view.got.empty()) {
          text += "  got: " + YamlString(view.got) + "\n  expected: " + YamlString(view.expected) + "\n";
        }
      }
      text += "  ...\n";
    }
  }
  return text;
}

std::string GradescopeReport(const Exercise& exercise, const GradedFile& graded, unsigned seconds) {
  Json tests = Json::array();
  for (std::size_t i = 0; i < graded.grade.cases.size(); ++i) {
    const CaseView view = ViewOf(exercise, graded.grade, i, true);
    std::vector<std::string> output = view.problems;
    for (std::string& line : CaseCheckLines(exercise, graded.grade, i, true)) output.push_back(std::move(line));
    tests.push_back({{"name", VisibleText(view.label)},
                     {"score", graded.grade.cases[i].points},
                     {"max_score", exercise.cases[i].points},
                     {"status", view.problems.empty() ? "passed" : "failed"},
                     {"output", VisibleLines(output)},
                     {"output_format", "text"},
                     {"visibility", exercise.cases[i].hidden ? "after_published" : "visible"}});
  }
  Json results = {{"score", graded.grade.score}, {"execution_time", seconds}, {"output_format", "text"}};
  std::string output = graded.note;
  if (!graded.grade.error.empty()) output += (output.empty() ? "" : "\n") + graded.file + ": " + graded.grade.error;
  if (!output.empty()) results["output"] = VisibleText(output);
  if (exercise.leaderboard && graded.grade.AllPassed()) {
    results["leaderboard"] = {{{"name", "bytes"}, {"value", graded.grade.bytes}, {"order", "asc"}},
                              {{"name", "steps"}, {"value", graded.grade.Steps()}, {"order", "asc"}}};
  }
  results["tests"] = tests;
  return DumpJson(results, 2) + "\n";
}

std::string CsvReport(const Exercise& exercise, const std::vector<GradedFile>& graded) {
  const bool students = ByStudent(graded);
  std::string text = students ? "file,student,id,score,max_score" : "file,score,max_score";
  for (const ExerciseCase& c : exercise.cases) text += "," + CsvCell(c.name);
  text += "\r\n";
  for (const GradedFile& one : graded) {
    text += CsvCell(one.file);
    if (students) text += "," + CsvCell(one.student) + "," + CsvCell(one.studentId);
    text += "," + std::to_string(one.grade.score) + "," + std::to_string(one.grade.maxScore);
    for (const CaseResult& result : one.grade.cases) text += "," + std::to_string(result.points);
    text += "\r\n";
  }
  return text;
}

}  // namespace mirvo::cli
