#!/usr/bin/env python3
"""mirvo test as a real process: for each (exercise, submissions, format) the
scores and the output, read back by each format's own reader (JSON as JSON,
JUnit as XML, CSV as CSV, TAP by the small reader below).

    grading_test.py MIRVO
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

MIRVO = sys.argv[1]

ADD = """title = "Add two bytes"
text = "Add the byte at 1000h to the byte at 1001h and store the sum at 1002h."
max_steps = 1000
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
CONSTANT = "MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n"
SUBMISSIONS = {
    "good.asm": GOOD,
    "Const.ASM": CONSTANT,  # a source whatever the case of its extension
    "bad.asm": "MVI A, 5\nRET\n",
    "lab1.asm.txt": GOOD,  # a source by its content
    "image.bin": bytes([0xC9]),
}
FILES = ["good.asm", "Const.ASM", "bad.asm", "lab1.asm.txt", "image.bin", "none.bin"]
BAD = "1:8: error: '5' is not a number: numbers end in a lower-case h, as in 5h"
CARRY = 'carry #2, "wrapped"'

# What every format must agree on: per file, the score, the maximum and
# each case's label, whether it passed, and why not (None for a pass).
SCORES = [
    ("good.asm", 4, 4, [("5 + 7", True, None), (CARRY, True, None), ("case 3", True, None)]),
    ("Const.ASM", 1, 4, [("5 + 7", True, None), (CARRY, False, "[1002h] is 0Ch, expected 10h"),
                         ("case 3", False, "hidden case failed")]),
    ("bad.asm", 0, 4, [("5 + 7", False, BAD), (CARRY, False, BAD), ("case 3", False, BAD)]),
    ("lab1.asm.txt", 4, 4, [("5 + 7", True, None), (CARRY, True, None), ("case 3", True, None)]),
    ("image.bin", 0, 4, [("5 + 7", False, "[1002h] is 00h, expected 0Ch"),
                         (CARRY, False, "[1002h] is 00h, expected 10h"), ("case 3", False, "hidden case failed")]),
    ("none.bin", 0, 4, [(label, False, "cannot open none.bin") for label in ("5 + 7", CARRY, "case 3")]),
]


def notation(what, value):
    """A JSON value as the text reports write it: bytes as 05h/0F0h."""
    if isinstance(value, str) or what in ("S", "Z", "AC", "P", "CY"):
        return str(value)
    digits = f"{value:04X}h" if what in ("PC", "SP") else f"{value:02X}h"
    return "0" + digits if digits[0] in "ABCDEF" and what not in ("PC", "SP") else digits


def from_json(text):
    grades = []
    for line in text.splitlines():
        row = json.loads(line)
        cases = []
        for case in row["cases"]:
            why = case.get("error")
            if why is None and not case["pass"]:
                why = "; ".join(f"{m['what']} is {notation(m['what'], m['actual'])}, "
                                f"expected {notation(m['what'], m['expected'])}" for m in case["mismatches"])
            cases.append((case["name"], case["pass"], why or ("hidden case failed" if not case["pass"] else None)))
        grades.append((row["file"], row["score"], row["max_score"], cases))
    return grades


def from_junit(text):
    root = ElementTree.fromstring(text)
    assert root.tag == "testsuites", root.tag
    grades = []
    for suite in root.findall("testsuite"):
        cases = []
        for case in suite.findall("testcase"):
            assert case.get("classname") == suite.get("name")
            problem = case.find("failure") if case.find("failure") is not None else case.find("error")
            cases.append((case.get("name"), problem is None, None if problem is None else problem.get("message")))
        failed = sum(1 for case in cases if not case[1])
        assert int(suite.get("tests")) == len(cases)
        assert int(suite.get("failures")) + int(suite.get("errors")) == failed
        grades.append((suite.get("name"), None, None, cases))
    return grades


def read_tap(text):
    """A TAP 14 reader: the version, the plan, and each test point with its
    YAML diagnostics (flat keys, values as JSON-style strings)."""
    lines = text.splitlines()
    assert lines[0] == "TAP version 14", lines[0]
    assert lines[1].startswith("1.."), lines[1]
    planned = int(lines[1][3:])
    points = []
    i = 2
    while i < len(lines):
        line = lines[i]
        match = re.fullmatch(r"(not )?ok (\d+) - (.*)", line)
        assert match, line
        description = re.sub(r"\\(.)", r"\1", match.group(3))
        point = {"ok": match.group(1) is None, "number": int(match.group(2)), "description": description}
        i += 1
        if i < len(lines) and lines[i] == "  ---":
            i += 1
            while lines[i] != "  ...":
                key, _, value = lines[i].strip().partition(": ")
                point[key] = json.loads(value) if value.startswith('"') else value
                i += 1
            i += 1
        points.append(point)
    assert [p["number"] for p in points] == list(range(1, planned + 1))
    return points


def from_tap(text):
    grades = []
    for point in read_tap(text):
        file, _, label = point["description"].partition(": ")
        if not grades or grades[-1][0] != file:
            grades.append((file, None, None, []))
        grades[-1][3].append((label, point["ok"], point.get("message")))
    return grades


def from_csv(text):
    assert "\r\n" in text and "\n" not in text.replace("\r\n", "")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    assert rows[0][:3] == ["file", "score", "max_score"], rows[0]
    return [(row[0], int(row[1]), int(row[2]), [int(points) for points in row[3:]]) for row in rows[1:]] + [rows[0][3:]]


def without_scores(grades):
    return [(file, None, None, cases) for file, _, _, cases in grades]


def run(work, args):
    result = subprocess.run([MIRVO, *args], cwd=work, capture_output=True, check=False)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


TEXT = (
    "PASS good.asm (4/4)\n"
    "FAIL Const.ASM (1/4)\n"
    f"  {CARRY}: [1002h] is 0Ch, expected 10h\n"
    "  case 3 (hidden) failed\n"
    f"FAIL bad.asm (0/4): {BAD}\n"
    "PASS lab1.asm.txt (4/4)\n"
    "FAIL image.bin (0/4)\n"
    "  5 + 7: [1002h] is 00h, expected 0Ch\n"
    f"  {CARRY}: [1002h] is 00h, expected 10h\n"
    "  case 3 (hidden) failed\n"
    "FAIL none.bin (0/4): cannot open none.bin\n"
    "2 passed, 4 failed\n"
)
SUMMARY = (
    "Summary of 6 programs\n"
    "  5 + 7: 3 passed, 3 failed\n"
    "    could not run: 2 submissions\n"
    "    [1002h] is 00h: 1 submission\n"
    f"  {CARRY}: 2 passed, 4 failed\n"
    "    could not run: 2 submissions\n"
    "    [1002h] is 00h: 1 submission\n"
    "    [1002h] is 0Ch: 1 submission\n"
    "  secret: 2 passed, 4 failed\n"
    "    could not run: 2 submissions\n"
    "    [1002h] is 00h: 1 submission\n"
    "    [1002h] is 0Ch: 1 submission\n"
)

# (format, extra arguments, exit code, what the output reads as, expected, standard error)
ROWS = [
    ("text", [], 1, lambda out: out, TEXT, ""),
    ("text", ["--summary"], 1, lambda out: out, TEXT + SUMMARY, ""),
    ("json", [], 1, from_json, SCORES, ""),
    ("json", ["--summary"], 1, from_json, SCORES, SUMMARY),
    ("junit", [], 1, from_junit, without_scores(SCORES), ""),
    ("tap", [], 1, from_tap, without_scores(SCORES), ""),
    ("csv", [], 1, from_csv,
     [(file, score, top, [points for points in (
         [1, 2, 1] if score == 4 else [1, 0, 0] if score == 1 else [0, 0, 0])]) for file, score, top, _ in SCORES]
     + [["5 + 7", CARRY, "secret"]], ""),
]


def check(condition, message):
    if not condition:
        print(message)
        sys.exit(1)


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "add.toml"), "w", encoding="utf-8") as file:
            file.write(ADD)
        for name, content in SUBMISSIONS.items():
            with open(os.path.join(work, name), "wb") as file:
                file.write(content.encode() if isinstance(content, str) else content)

        for fmt, extra, code, read, expected, err in ROWS:
            got_code, out, got_err = run(work, ["test", "add.toml", *FILES, "--format", fmt, *extra])
            got = read(out)
            if (got_code, got, got_err) != (code, expected, err):
                failures += 1
                print(f"--format {fmt} {' '.join(extra)}:\n  got      {got_code} {got!r} {got_err!r}\n"
                      f"  expected {code} {expected!r} {err!r}")

        # --show-hidden names the hidden case and its mismatch.
        _, out, _ = run(work, ["test", "add.toml", "Const.ASM", "--format", "json", "--show-hidden"])
        hidden = from_json(out)[0][3][2]
        check(hidden == ("secret", False, "[1002h] is 0Ch, expected 03h"), f"--show-hidden: {hidden}")

        # Gradescope's results.json for one program; hidden cases after publishing.
        code, out, _ = run(work, ["test", "add.toml", "Const.ASM", "--format", "gradescope", "-o", "results.json"])
        with open(os.path.join(work, "results.json"), encoding="utf-8") as file:
            results = json.load(file)
        check(code == 1 and out == "", f"gradescope: exit {code}, {out!r}")
        check(results == {"score": 1, "tests": [
            {"name": "5 + 7", "score": 1, "max_score": 1, "status": "passed", "output": "", "visibility": "visible"},
            {"name": CARRY, "score": 0, "max_score": 2, "status": "failed",
             "output": "[1002h] is 0Ch, expected 10h", "visibility": "visible"},
            {"name": "secret", "score": 0, "max_score": 1, "status": "failed",
             "output": "[1002h] is 0Ch, expected 03h", "visibility": "after_published"}]}, f"gradescope: {results}")
        code, _, err = run(work, ["test", "add.toml", "bad.asm", "--format", "gradescope"])
        check(code == 1, f"gradescope of a broken program: exit {code} {err}")
        code, _, err = run(work, ["test", "add.toml", "good.asm", "bad.asm", "--format", "gradescope"])
        check(code == 64 and "grades one program" in err, f"gradescope of two: {code} {err}")

        # A folder stands for its files; the exercise and the report in it are
        # no programs. Full marks everywhere: exit 0.
        os.mkdir(os.path.join(work, "class"))
        for name in ("a.asm", "b.asm"):
            with open(os.path.join(work, "class", name), "w", encoding="utf-8") as file:
                file.write(GOOD)
        with open(os.path.join(work, "class", "add.toml"), "w", encoding="utf-8") as file:
            file.write(ADD)
        code, out, err = run(work, ["test", "class/add.toml", "class", "--format", "csv", "-o", "class/grades.csv"])
        check((code, out, err) == (0, "", ""), f"folder: {code} {out!r} {err!r}")
        code, _, _ = run(work, ["test", "class/add.toml", "class", "--format", "csv", "-o", "class/grades.csv"])
        with open(os.path.join(work, "class", "grades.csv"), encoding="utf-8", newline="") as file:
            rows = from_csv(file.read())
        check(code == 0 and [row[0] for row in rows[:-1]] == ["class/a.asm", "class/b.asm"], f"folder again: {rows}")
    if failures:
        sys.exit(1)
    print("every format reads back")


main()
