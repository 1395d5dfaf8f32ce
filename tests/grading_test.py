#!/usr/bin/env python3
"""mirvo test as a real process: one exercise, six submissions, and every
report format read back by its own reader (JSON as JSON, JUnit as XML, CSV
as CSV, TAP's blocks as YAML, TAP 13 by Debian's prove) to the same scores,
points and reasons; then a class of hostile file names through every format.

    grading_test.py MIRVO
"""
import csv
import html.parser
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import yaml

MIRVO = sys.argv[1]
ADD = """title = "Add two bytes"
text = "Add the byte at 1000h to the byte at 1001h and store the sum at 1002h."
[[case]]
name = "5 + 7"
given = "[1000h]=5h [1001h]=7h"
expect = "[1002h]=0Ch halt"
[[case]]
name = "carry #2, \\"wrapped\\""
given = "[1000h]=0F0h,20h"
expect = "[1002h]=10h"
points = 2
[[case]]
name = "secret"
given = "[1000h]=1,2"
expect = "[1002h]=3"
hidden = true
"""
GOOD = "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n"
SUBMISSIONS = {
    "good.asm": GOOD,
    "Const.ASM": "MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n",  # a source whatever the case of its extension
    "bad.asm": "MVI A, 5\nRET\n",
    "lab1.asm.txt": GOOD,  # a source by its content
    "image.bin": b"\xc9",
}
FILES = [*SUBMISSIONS, "none.bin"]
BAD = "1:8: error: '5' is not a number: numbers end in a lower-case h, as in 5h"
CARRY = 'carry #2, "wrapped"'
LABELS = ("5 + 7", CARRY, "case 3")
HIDDEN = "hidden case failed"

# What every format must agree on: per file, the score, the maximum and each
# case's label, whether it passed and why not.
SCORES = [
    ("good.asm", 4, 4, [(label, True, None) for label in LABELS]),
    ("Const.ASM", 1, 4, [("5 + 7", True, None), (CARRY, False, "[1002h] is 0Ch, expected 10h"), ("case 3", False, HIDDEN)]),
    ("bad.asm", 0, 4, [(label, False, BAD) for label in LABELS]),
    ("lab1.asm.txt", 4, 4, [(label, True, None) for label in LABELS]),
    ("image.bin", 0, 4, [("5 + 7", False, "[1002h] is 00h, expected 0Ch"),
                         (CARRY, False, "[1002h] is 00h, expected 10h"), ("case 3", False, HIDDEN)]),
    ("none.bin", 0, 4, [(label, False, "cannot open none.bin: No such file or directory") for label in LABELS]),
]
GRADEBOOK = [["file", "score", "max_score", "5 + 7", CARRY, "secret"]] + [
    [file, str(score), str(top), *{4: ["1", "2", "1"], 1: ["1", "0", "0"], 0: ["0", "0", "0"]}[score]]
    for file, score, top, _ in SCORES]
# Scores 4 1 0 4 0 0: mean 9/6, median between 0 and 1; good.asm and
# lab1.asm.txt are one program of 12 bytes, 8 steps in each case.
NOT_RUN = "2 could not run (not-a-number: 1, unreadable: 1)"
SUMMARY = f"""Summary of 6 programs
  5 + 7: 3 passed, 1 failed, {NOT_RUN}
    [1002h] is 00h: 1 submission
  {CARRY}: 2 passed, 2 failed, {NOT_RUN}
    [1002h] is 00h: 1 submission
    [1002h] is 0Ch: 1 submission
  case 3 (hidden): 2 passed, 2 failed, {NOT_RUN}
Scores out of 4: mean 1.5, median 0.5
  0 |############################## 3
  1 |########## 1
  2 |
  3 |
  4 |#################### 2
2 programs passed every case: bytes min 12, median 12; steps min 24, median 24
The same program once comments, spacing and register names are set aside:
  2: good.asm, lab1.asm.txt
"""
SECRET_SUMMARY = f"""  secret: 2 passed, 2 failed, {NOT_RUN}
    [1002h] is 00h: 1 submission
    [1002h] is 0Ch: 1 submission
"""


def lines(text):
    """The lines of a report, ended by line feeds only (str.splitlines would
    also split at U+0085 and U+2028, which a name may hold)."""
    assert text.endswith("\n")
    return text.split("\n")[:-1]


def json_rows(text):
    """The rows of --format json, and its last line's class (None without --summary)."""
    rows = [json.loads(line) for line in lines(text)]
    return (rows[:-1], rows[-1]["class"]) if rows and list(rows[-1]) == ["class"] else (rows, None)


def from_json(text):
    grades = []
    for row in json_rows(text)[0]:
        cases = [(case["name"], case["pass"], None if case["pass"] else case.get("error") or
                  "; ".join(m["text"] for m in case["mismatches"]) or HIDDEN) for case in row["cases"]]
        grades.append((row["file"], row["score"], row["max_score"], cases))
    return grades


def from_junit(text):
    """Per suite its name, the points and max_points of its cases added up,
    and each case."""
    root = ElementTree.fromstring(text)
    assert root.tag == "testsuites", root.tag
    grades = []
    for suite in root.iter("testsuite"):
        cases, points = [], [0, 0]
        for case in suite.iter("testcase"):
            assert case.get("classname") == suite.get("name")
            properties = {p.get("name"): int(p.get("value")) for p in case.iter("property")}
            points = [points[0] + properties["points"], points[1] + properties["max_points"]]
            problem = next((e for e in case if e.tag in ("failure", "error")), None)
            cases.append((case.get("name"), problem is None, None if problem is None else problem.get("message")))
        assert int(suite.get("tests")) == len(cases)
        assert int(suite.get("failures")) + int(suite.get("errors")) == sum(not passed for _, passed, _ in cases)
        grades.append((suite.get("name"), *points, cases))
    return grades


def read_tap(text, version=14):
    """A TAP reader: the version, the plan, and the test points, each with
    its YAML block read by PyYAML."""
    lines = text.split("\n")[:-1]
    assert lines[0] == f"TAP version {version}" and lines[1].startswith("1.."), lines[:2]
    points, block = [], None
    for line in lines[2:]:
        if block is not None:
            if line == "  ...":
                points[-1].update(yaml.safe_load("\n".join(block)))
                block = None
            else:
                block.append(line)
            continue
        if line == "  ---":
            block = []
            continue
        match = re.fullmatch(r"(not )?ok (\d+) - (.*)", line)
        assert match and int(match.group(2)) == len(points) + 1, line
        points.append({"ok": match.group(1) is None, "description": re.sub(r"\\(.)", r"\1", match.group(3))})
    assert len(points) == int(lines[1][3:]) and block is None
    return points


def from_tap(text):
    grades = []
    for point in read_tap(text):
        file, _, label = point["description"].rpartition(": ")
        if not grades or grades[-1][0] != file:
            grades.append((file, 0, 0, []))
        grades[-1] = (file, grades[-1][1] + point["points"], grades[-1][2] + point["max_points"],
                      grades[-1][3] + [(label, point["ok"], point.get("message"))])
    return grades


def from_csv(text):
    assert "\n" not in text.replace("\r\n", ""), "RFC 4180 ends lines with CR LF"
    return list(csv.reader(io.StringIO(text, newline="")))


def run(work, *args):
    result = subprocess.run([MIRVO, *args], cwd=work, capture_output=True, check=False)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(content.encode() if isinstance(content, str) else content)


# The class line of --format json --summary, as the summary above says it.
CLASS_CASES = [(label, 2 + (label == "5 + 7"), hidden) for label, hidden in zip(LABELS, (False, False, True))]
CLASS = {"programs": 6, "max_score": 4, "scores": [3, 1, 0, 0, 2],
         "cases": [(label, hidden, passed, {"not-a-number": ["bad.asm"], "unreadable": ["none.bin"]})
                   for label, passed, hidden in CLASS_CASES],
         "passing": [("good.asm", 12, 24, True), ("lab1.asm.txt", 12, 24, True)],
         "same_program": [["good.asm", "lab1.asm.txt"]]}


def from_class(text):
    got = json_rows(text)[1]
    return {"programs": got["programs"], "max_score": got["max_score"], "scores": got["scores"],
            "cases": [(c["name"], c["hidden"], c["passed"], {n["cause"]: n["files"] for n in c["not_run"]})
                      for c in got["cases"]],
            "passing": [(p["file"], p["bytes"], p["steps"], p["best"]) for p in got["passing"]],
            "same_program": got["same_program"]}


class Page(html.parser.HTMLParser):
    """An HTML page read by Python's parser: every element closed in order,
    the tags it holds, each row of the programs' table as its cells' text,
    and the text of the lists."""
    VOID = {"meta", "br", "img", "input", "link", "hr"}
    SVG_EMPTY = {"rect", "line", "circle", "path"}

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.open, self.tags, self.errors, self.rows, self.items = [], set(), [], [], []
        self.in_table = self.in_summary = False
        self.feed(text)
        self.close()
        if self.open:
            self.errors.append(f"left open: {self.open}")

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        if tag in self.VOID:
            return
        self.open.append(tag)
        if tag == "table" and ("data-sortable", None) in attrs:
            self.in_table = True
        elif tag == "tr" and self.in_table:
            self.rows.append([])
        elif tag == "td" and self.in_table:
            self.rows[-1].append("")
        elif tag == "summary":
            self.in_summary = True
        elif tag == "li":
            self.items.append("")

    def handle_startendtag(self, tag, attrs):
        self.tags.add(tag)
        if tag not in self.VOID | self.SVG_EMPTY:
            self.errors.append(f"<{tag}/>")

    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            self.errors.append(f"</{tag}> closes {self.open[-1:]}")
            return
        self.open.pop()
        if tag == "table":
            self.in_table = False
        elif tag == "summary":
            self.in_summary = False

    def handle_data(self, data):
        if self.in_table and self.rows and self.rows[-1] and (self.in_summary or "details" not in self.open):
            self.rows[-1][-1] += data
        if "li" in self.open and self.items:
            self.items[-1] += data


def from_html(text):
    """Per program its name and score, and the same-program groups."""
    page = Page(text)
    assert not page.errors, page.errors
    return [tuple(row[:2]) for row in page.rows if row], [i for i in page.items if i.startswith("2: ")]


HTML = ([(file, f"{score}/{top}") for file, score, top, _ in SCORES], ["2: good.asm, lab1.asm.txt"])

# (arguments after the programs, exit code, how the output reads, expected, standard error)
ROWS = [
    (["--format", "json"], 1, from_json, SCORES, ""),
    (["--format", "json", "--summary"], 1, from_json, SCORES, SUMMARY),
    (["--format", "junit"], 1, from_junit, SCORES, ""),
    (["--format", "tap"], 1, from_tap, SCORES, ""),
    (["--format", "csv"], 1, from_csv, GRADEBOOK, ""),
    (["--summary"], 1, lambda out: out[out.index("Summary"):], SUMMARY, ""),
    (["--summary", "--show-hidden"], 1, lambda out: out[out.index("  secret: 2"):out.index("Scores")],
     SECRET_SUMMARY, ""),
    (["--format", "json", "--summary"], 1, from_class, CLASS, SUMMARY),
    (["--format", "html"], 1, from_html, HTML, ""),
    (["--format", "json", "--show-hidden"], 1, lambda out: from_json(out)[1][3][2],
     ("secret", False, "[1002h] is 0Ch, expected 03h"), ""),
]

TEXT = {"output_format": "text"}
RESULTS = {"score": 1, "execution_time": 0, **TEXT, "tests": [
    {"name": "5 + 7", "score": 1, "max_score": 1, "status": "passed", "output": "", **TEXT, "visibility": "visible"},
    {"name": CARRY, "score": 0, "max_score": 2, "status": "failed", "output": "[1002h] is 0Ch, expected 10h", **TEXT,
     "visibility": "visible"},
    {"name": "secret", "score": 0, "max_score": 1, "status": "failed", "output": "[1002h] is 0Ch, expected 03h",
     **TEXT, "visibility": "after_published"}]}

# Names a student may give a file, each with how people see it (text,
# JUnit, TAP, the summary) and the gradebook cell when it differs from that.
# JSON keeps each name, every byte that is not UTF-8 (as Python's strict
# decoder finds them) written \xHH.
HOSTILE = [
    (b"\x1b[32mPASS\x1b[0m \x1b]0;t\x07.asm", "^[[32mPASS^[[0m ^[]0;t^G.asm", None),
    (b"two\nPASS lines.asm", "two\\nPASS lines.asm", None),
    (b"cr\rdel\x7f.asm", "cr^Mdel^?.asm", None),
    (b"c1\xc2\x85\xc2\x9b.asm", "c1\\x85\\x9B.asm", None),
    (b"nonchar\xef\xbf\xbe\xef\xbf\xbf.asm", "nonchar\\uFFFE\\uFFFF.asm", None),
    (b"bidi\xe2\x80\xaegpj.asm", "bidi\\u202Egpj.asm", None),
    (b"overlong\xc0\xaf\xe0\x80\xaf.asm", "overlong\\xC0\\xAF\\xE0\\x80\\xAF.asm", None),
    (b"surrogate\xed\xa0\x80\xf4\x90\x80\x80.asm", "surrogate\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80.asm", None),
    (b"ana\xe9.asm", "ana\\xE9.asm", None),
    (b"ana\xe8.asm", "ana\\xE8.asm", None),
    (b"caf\xc3\xa9 &<>\"'#\\.asm", "caf\u00e9 &<>\"'#\\.asm", None),
    (b'=HYPERLINK("evil.example","y").asm', '=HYPERLINK("evil.example","y").asm',
     '\'=HYPERLINK("evil.example","y").asm'),
    (b"+1+1.asm", "+1+1.asm", "'+1+1.asm"),
    (b"-1+1.asm", "-1+1.asm", "'-1+1.asm"),
    (b"@SUM(1).asm", "@SUM(1).asm", "'@SUM(1).asm"),
    (b"\tlead.asm", "^Ilead.asm", None),
]
CONST = "MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n"  # 1 of 4 points
# A source whose first token holds ESC, bytes that are not UTF-8 and NEL.
TOKEN = (b"token.asm", b"\x1b[2J\xff\xfe\xc2\x85 A\n", "1:1: error: '^[[2J\\xFF\\xFE\\x85' is not an instruction")


def as_json(name):
    return re.sub(r"\\x[0-9a-f]{2}", lambda m: m.group(0).upper().replace("\\X", "\\x"),
                  name.decode("utf-8", "backslashreplace"))


def hostile_failures(work):
    """Every format of a class of hostile names, read back by its parser."""
    folder = os.path.join(work, "hostile")
    os.makedirs(folder)
    for name, _, _ in HOSTILE:
        write(os.path.join(os.fsencode(folder), name), CONST)
    write(os.path.join(folder, "token.asm"), TOKEN[1])
    names = [name for name, _, _ in HOSTILE]
    seen = {name: (visible, cell or visible) for name, visible, cell in HOSTILE}
    visible = sorted(v for v, _ in seen.values())
    failures = []

    def grade(*extra):
        result = subprocess.run([MIRVO, "test", "../add.toml", *extra, "--", *names], cwd=folder,
                                capture_output=True, check=False)
        if result.returncode != 1:
            failures.append(f"hostile {extra}: exit {result.returncode} {result.stderr!r}")
        return result.stdout.decode("utf-8")  # strict: every format is UTF-8

    checks = [
        ("text", lambda out: sorted(re.findall(r"^FAIL (.*) \(1/4\)$", out, re.M)), visible),
        ("text controls", lambda out: re.findall(r"[^\n\x20-\x7e\xa0-\uffff]|[\u2028\u2029\u202e\ufffe]", out), []),
        ("json", lambda out: sorted(row["file"] for row in map(json.loads, lines(out))),
         sorted(map(as_json, names))),
        ("junit", lambda out: sorted(suite[0] for suite in from_junit(out)), visible),
        ("tap", lambda out: sorted(g[0] for g in from_tap(out)), visible),
        ("tap 13", lambda out: len(read_tap(out, 13)), 3 * len(names)),
        ("csv", lambda out: sorted(row[0] for row in from_csv(out)[1:]), sorted(c for _, c in seen.values())),
        ("summary", lambda out: out.count("\x1b"), 0),
        ("html", lambda out: sorted(name for name, _ in from_html(out)[0]), visible),
        ("html tags", lambda out: Page(out).tags - {"html", "head", "meta", "title", "style", "body", "main", "h1",
                                                    "h2", "h3", "p", "section", "svg", "line", "rect", "text",
                                                    "circle", "path", "table", "thead", "tbody", "tr", "th", "td",
                                                    "div", "details", "summary", "ul", "li", "span", "script"},
         set()),
        ("html controls", lambda out: checks[1][1](out), []),
    ]
    formats = {"text": [], "text controls": [], "json": ["--format", "json"], "junit": ["--format", "junit"],
               "tap": ["--format", "tap"], "tap 13": ["--format", "tap", "--tap-version", "13"],
               "csv": ["--format", "csv"], "summary": ["--summary"], "html": ["--format", "html"],
               "html tags": ["--format", "html"], "html controls": ["--format", "html"]}
    for label, read, expected in checks:
        got = read(grade(*formats[label]))
        if got != expected:
            failures.append(f"hostile {label}: {got!r}, expected {expected!r}")

    # mirvo check of many files shows names and tokens as the text report does.
    result = subprocess.run([MIRVO, "check", "--expect", "[1002h]=0Ch", "--", *names, "token.asm"], cwd=folder,
                            capture_output=True, check=False)
    out = result.stdout.decode("utf-8")
    if (sorted(re.findall(r"^PASS (.*)$", out, re.M)) != visible or f"FAIL token.asm: {TOKEN[2]}" not in out or
            checks[1][1](out)):
        failures.append(f"hostile check: {out!r}")

    # A token of any bytes, in the report people read and the one tools read.
    result = subprocess.run([MIRVO, "test", "../add.toml", "token.asm"], cwd=folder, capture_output=True, check=False)
    if TOKEN[2] not in result.stdout.decode():
        failures.append(f"hostile token: {result.stdout!r}")
    result = subprocess.run([MIRVO, "test", "../add.toml", "token.asm", "--format", "gradescope"], cwd=folder,
                            capture_output=True, check=False)
    if TOKEN[2] not in json.loads(result.stdout)["output"]:
        failures.append(f"hostile gradescope: {result.stdout!r}")
    return failures


def capped_failures(work):
    """200 statements that each read unset registers, then a run past the
    end: 201 findings in each of 8 cases. 20 are kept per case and 100 per
    program, the rest counted."""
    write(os.path.join(work, "caps.toml"), 'title = "t"\ntext = "t"\n' +
          "".join(f'[[case]]\nname = "c{i}"\nexpect = "A=1h"\n' for i in range(8)))
    write(os.path.join(work, "many.asm"), "ADD B\n" * 200)
    kept = [20] * 5 + [0] * 3
    left = [181] * 5 + [201] * 3
    expected = {"text": (sum(kept), [f"... and {n} more warnings" for n in left]), "json": list(zip(kept, left)),
                "gradescope": [f"... and {n} more warnings" for n in left]}
    _, text, _ = run(work, "test", "caps.toml", "many.asm")
    _, line, _ = run(work, "test", "caps.toml", "many.asm", "--format", "json")
    _, results, _ = run(work, "test", "caps.toml", "many.asm", "--format", "gradescope")
    got = {"text": (text.count(": warning: "), re.findall(r"^  c\d: (\.\.\. .*)$", text, re.M)),
           "json": [(len(c["checks"]), c["checks_left_out"]) for c in json.loads(line)["cases"]],
           "gradescope": [t["output"].split("\n")[-1] for t in json.loads(results)["tests"]]}
    return [f"caps {key}: {got[key]!r}" for key in expected if got[key] != expected[key]]


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        write(os.path.join(work, "add.toml"), ADD)
        for name, content in SUBMISSIONS.items():
            write(os.path.join(work, name), content)
        for extra, code, read, expected, err in ROWS:
            got_code, out, got_err = run(work, "test", "add.toml", *FILES, *extra)
            if (got_code, read(out), got_err) != (code, expected, err):
                failures.append(f"{extra}: {got_code} {read(out)!r} {got_err!r}")

        # Gradescope's results.json, for one program; two are refused.
        code, out, _ = run(work, "test", "add.toml", "Const.ASM", "--format", "gradescope", "-o", "results.json")
        with open(os.path.join(work, "results.json"), encoding="utf-8") as file:
            if (code, out, json.load(file)) != (1, "", RESULTS):
                failures.append(f"gradescope: {code} {out!r}")
        code, _, err = run(work, "test", "add.toml", "good.asm", "bad.asm", "--format", "gradescope")
        if code != 64 or "grades one program" not in err:
            failures.append(f"gradescope of two: {code} {err}")

        # Debian's prove knows TAP up to version 13: a class with full marks
        # passes there, and fails when a case fails.
        for program, expected in (("good.asm", 0), ("Const.ASM", 1)):
            run(work, "test", "add.toml", program, "--format", "tap", "--tap-version", "13", "-o", "class.tap")
            proved = subprocess.run(["prove", "--exec", "cat", "class.tap"], cwd=work, capture_output=True, check=False)
            if proved.returncode != expected or b"Parse errors" in proved.stdout:
                failures.append(f"prove {program}: {proved.returncode} {proved.stdout!r}")

        failures += hostile_failures(work)
        failures += capped_failures(work)

        # A folder stands for its files; neither the exercise nor the report
        # in it is a program, the second time either, and each is said to be
        # skipped. Full marks: exit 0.
        for name in ("class/a.asm", "class/b.asm"):
            write(os.path.join(work, name), GOOD)
        write(os.path.join(work, "class/add.toml"), ADD)
        skipped = "mirvo: skipped class/add.toml: the exercise file\n"
        for again in range(2):
            code, out, err = run(work, "test", "class/add.toml", "class", "--format", "csv", "-o", "class/grades.csv")
            with open(os.path.join(work, "class/grades.csv"), encoding="utf-8", newline="") as file:
                files = [row[0] for row in from_csv(file.read())[1:]]
            if again:
                skipped += "mirvo: skipped class/grades.csv: not a program\n"
            if (code, out, err, files) != (0, "", skipped, ["class/a.asm", "class/b.asm"]):
                failures.append(f"folder: {code} {out!r} {err!r} {files}")
    print("\n".join(failures) or "every format reads back")
    sys.exit(1 if failures else 0)


main()
