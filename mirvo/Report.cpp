#include "Report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "ExerciseJson.h"

namespace mirvo::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

// Text as valid UTF-8: each byte that starts no valid sequence becomes
// U+FFFD, so that file names of any bytes make well-formed XML.
std::string CleanUtf8(const std::string& text) {
  std::string clean;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                               : byte >= 0xF0 && byte <= 0xF4                 ? 4
                                                                              : 0;
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0U) == 0x80U;
    if (valid) {
      clean.append(text, i, length);
      i += length;
    } else {
      clean += "\xEF\xBF\xBD";
      i += 1;
    }
  }
  return clean;
}

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
    const Expectation& item = c.expected[mismatch.item];
    view.got += (view.got.empty() ? "" : " ") + WriteItem(item, mismatch.actualValue, mismatch.actualOutcome);
    view.expected += (view.expected.empty() ? "" : " ") + WriteItem(item, item.value, item.outcome);
  }
  return view;
}

// The run-time checks of case i, one line each: "warning: line 3: ADD B
// reads B, ... [-Wunset-read]"; none for a case whose details are withheld.
std::vector<std::string> CheckLines(const Exercise& exercise, const Grade& grade, std::size_t i, bool showHidden) {
  std::vector<std::string> lines;
  if (!ShowsDetails(exercise.cases[i], showHidden)) return lines;
  for (const CheckFinding& finding : grade.cases[i].checks) {
    const std::string where = finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : "";
    lines.push_back("warning: " + where + finding.message + " [-W" + CheckRowOf(finding.id).name + "]");
  }
  return lines;
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

std::string Xml(const std::string& text) {
  std::string out;
  for (const char ch : CleanUtf8(text)) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        // XML 1.0 has no other control characters at all.
        out += static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
        break;
    }
  }
  return out;
}

// A TAP description: one line, with # and \ escaped.
std::string TapText(const std::string& text) {
  std::string out;
  for (const char ch : CleanUtf8(text)) {
    if (ch == '#' || ch == '\\') out += '\\';
    out += ch == '\n' || ch == '\r' ? ' ' : ch;
  }
  return out;
}

// An RFC 4180 field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char ch : text) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return out + "\"";
}

}  // namespace

std::string TextReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text;
  std::size_t passed = 0;
  for (const GradedFile& one : graded) {
    const Grade& grade = one.grade;
    const bool pass = grade.AllPassed();
    passed += pass ? 1 : 0;
    text += (pass ? "PASS " : "FAIL ") + one.file + " " + Points(grade);
    text += (grade.error.empty() ? "" : ": " + grade.error) + "\n";
    if (!one.note.empty()) text += "  note: " + one.note + "\n";
    if (!grade.error.empty()) continue;
    for (std::size_t i = 0; i < grade.cases.size(); ++i) {
      const CaseView view = ViewOf(exercise, grade, i, showHidden);
      if (grade.cases[i].pass) {
        // A case that passed still shows what the checks found.
      } else if (view.hiddenDetails) {
        text += "  " + view.label + " (hidden) failed\n";
      } else {
        text += "  " + view.label + ": " + Join(view.problems, "; ") + "\n";
      }
      for (const std::string& line : CheckLines(exercise, grade, i, showHidden)) {
        text += "  " + view.label + ": " + line + "\n";
      }
    }
  }
  return text + std::to_string(passed) + " passed, " + std::to_string(graded.size() - passed) + " failed\n";
}

std::string JsonReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text;
  const bool students = ByStudent(graded);
  for (const GradedFile& one : graded) {
    std::string line = GradeJson(exercise, one.grade, showHidden, &one.file);
    if (students || !one.note.empty()) {
      // The student's columns follow the file, the note the grade.
      const Json parsed = Json::parse(line);
      Json ordered = {{"file", parsed["file"]}};
      if (students) {
        ordered["student"] = one.student;
        ordered["id"] = one.studentId;
      }
      for (const auto& [key, value] : parsed.items()) {
        if (key == "cases" && !one.note.empty()) ordered["note"] = one.note;
        if (key != "file") ordered[key] = value;
      }
      line = Dump(ordered);
    }
    text += line + "\n";
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
      cases += "    <testcase classname=\"" + Xml(one.file) + "\" name=\"" + Xml(view.label) + "\"";
      if (view.problems.empty()) {
        cases += "/>\n";
        continue;
      }
      const char* element = view.error ? "error" : "failure";
      (view.error ? suiteErrors : suiteFailures) += 1;
      const std::string message = Join(view.problems, "; ");
      cases += ">\n      <" + std::string(element) + " message=\"" + Xml(message) + "\">" + Xml(Join(view.problems, "\n")) +
               "</" + element + ">\n    </testcase>\n";
    }
    suites += "  <testsuite name=\"" + Xml(one.file) + "\" tests=\"" + std::to_string(one.grade.cases.size()) +
              "\" failures=\"" + std::to_string(suiteFailures) + "\" errors=\"" + std::to_string(suiteErrors) +
              "\">\n" + cases + "  </testsuite>\n";
    tests += one.grade.cases.size();
    failures += suiteFailures;
    errors += suiteErrors;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" + Xml(exercise.title) + "\" tests=\"" +
         std::to_string(tests) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
         "\">\n" + suites + "</testsuites>\n";
}

std::string TapReport(const Exercise& exercise, const std::vector<GradedFile>& graded, bool showHidden) {
  std::string text = "TAP version 14\n1.." + std::to_string(graded.size() * exercise.cases.size()) + "\n";
  std::size_t number = 0;
  for (const GradedFile& one : graded) {
    for (std::size_t i = 0; i < one.grade.cases.size(); ++i) {
      const CaseView view = ViewOf(exercise, one.grade, i, showHidden);
      text += (view.problems.empty() ? "ok " : "not ok ") + std::to_string(++number) + " - " +
              TapText(one.file + ": " + view.label) + "\n";
      if (view.problems.empty()) continue;
      text += "  ---\n  message: " + Dump(Join(view.problems, "; ")) + "\n  severity: fail\n";
      if (!view.got.empty()) text += "  got: " + Dump(view.got) + "\n  expected: " + Dump(view.expected) + "\n";
      text += "  ...\n";
    }
  }
  return text;
}

std::string GradescopeReport(const Exercise& exercise, const GradedFile& graded) {
  Json tests = Json::array();
  for (std::size_t i = 0; i < graded.grade.cases.size(); ++i) {
    const CaseView view = ViewOf(exercise, graded.grade, i, true);
    std::vector<std::string> output = view.problems;
    for (std::string& line : CheckLines(exercise, graded.grade, i, true)) output.push_back(std::move(line));
    tests.push_back({{"name", view.label},
                     {"score", graded.grade.cases[i].points},
                     {"max_score", exercise.cases[i].points},
                     {"status", view.problems.empty() ? "passed" : "failed"},
                     {"output", Join(output, "\n")},
                     {"visibility", exercise.cases[i].hidden ? "after_published" : "visible"}});
  }
  Json results = {{"score", graded.grade.score}};
  std::string output = graded.note;
  if (!graded.grade.error.empty()) output += (output.empty() ? "" : "\n") + graded.file + ": " + graded.grade.error;
  if (!output.empty()) results["output"] = output;
  results["tests"] = tests;
  return results.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string CsvReport(const Exercise& exercise, const std::vector<GradedFile>& graded) {
  const bool students = ByStudent(graded);
  std::string text = students ? "file,student,id,score,max_score" : "file,score,max_score";
  for (const ExerciseCase& c : exercise.cases) text += "," + CsvField(CleanUtf8(c.name));
  text += "\r\n";
  for (const GradedFile& one : graded) {
    text += CsvField(CleanUtf8(one.file));
    if (students) text += "," + CsvField(CleanUtf8(one.student)) + "," + CsvField(CleanUtf8(one.studentId));
    text += "," + std::to_string(one.grade.score) + "," + std::to_string(one.grade.maxScore);
    for (const CaseResult& result : one.grade.cases) text += "," + std::to_string(result.points);
    text += "\r\n";
  }
  return text;
}

std::string SummaryReport(const Exercise& exercise, const std::vector<GradedFile>& graded) {
  std::vector<Grade> grades;
  for (const GradedFile& one : graded) grades.push_back(one.grade);
  const std::vector<CaseTally> tallies = TallyCases(exercise, grades);
  std::string text = "Summary of " + std::to_string(graded.size()) + (graded.size() == 1 ? " program" : " programs") + "\n";
  for (std::size_t i = 0; i < tallies.size(); ++i) {
    text += "  " + exercise.cases[i].name + ": " + std::to_string(tallies[i].passed) + " passed, " +
            std::to_string(tallies[i].failed) + " failed\n";
    for (const WrongResult& wrong : tallies[i].common) {
      text += "    " + wrong.text + ": " + std::to_string(wrong.count) +
              (wrong.count == 1 ? " submission\n" : " submissions\n");
    }
  }
  return text;
}

}  // namespace mirvo::cli
