#!/usr/bin/env python3
"""mirvo test as a real process: one exercise, six submissions, and every
report format read back by its own reader (JSON as JSON, JUnit as XML, CSV
as CSV, TAP by the small reader below) to the same scores and reasons.

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
UNSCORED = [(file, None, None, cases) for file, _, _, cases in SCORES]
GRADEBOOK = [["file", "score", "max_score", "5 + 7", CARRY, "secret"]] + [
    [file, str(score), str(top), *{4: ["1", "2", "1"], 1: ["1", "0", "0"], 0: ["0", "0", "0"]}[score]]
    for file, score, top, _ in SCORES]
SUMMARY = f"""Summary of 6 programs
  5 + 7: 3 passed, 3 failed
    could not run: 2 submissions
    [1002h] is 00h: 1 submission
  {CARRY}: 2 passed, 4 failed
    could not run: 2 submissions
    [1002h] is 00h: 1 submission
    [1002h] is 0Ch: 1 submission
  secret: 2 passed, 4 failed
    could not run: 2 submissions
    [1002h] is 00h: 1 submission
    [1002h] is 0Ch: 1 submission
"""


def from_json(text):
    grades = []
    for row in map(json.loads, text.splitlines()):
        cases = [(case["name"], case["pass"], None if case["pass"] else case.get("error") or
                  "; ".join(m["text"] for m in case["mismatches"]) or HIDDEN) for case in row["cases"]]
        grades.append((row["file"], row["score"], row["max_score"], cases))
    return grades


def from_junit(text):
    root = ElementTree.fromstring(text)
    assert root.tag == "testsuites", root.tag
    grades = []
    for suite in root.iter("testsuite"):
        cases = []
        for case in suite.iter("testcase"):
            assert case.get("classname") == suite.get("name")
            problem = next(iter(case), None)  # a failure or an error
            cases.append((case.get("name"), problem is None, None if problem is None else problem.get("message")))
        assert int(suite.get("tests")) == len(cases)
        assert int(suite.get("failures")) + int(suite.get("errors")) == sum(not passed for _, passed, _ in cases)
        grades.append((suite.get("name"), None, None, cases))
    return grades


def read_tap(text):
    """A TAP 14 reader: the version, the plan, and the test points with their
    YAML diagnostics (flat keys, double-quoted values)."""
    lines = text.splitlines()
    assert lines[0] == "TAP version 14" and lines[1].startswith("1.."), lines[:2]
    points = []
    for line in lines[2:]:
        if line.startswith("  "):
            key, _, value = line.strip().partition(": ")
            if value:
                points[-1][key] = json.loads(value) if value.startswith('"') else value
            continue
        match = re.fullmatch(r"(not )?ok (\d+) - (.*)", line)
        assert match and int(match.group(2)) == len(points) + 1, line
        points.append({"ok": match.group(1) is None, "description": re.sub(r"\\(.)", r"\1", match.group(3))})
    assert len(points) == int(lines[1][3:])
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
    assert "\n" not in text.replace("\r\n", ""), "RFC 4180 ends lines with CR LF"
    return list(csv.reader(io.StringIO(text, newline="")))


def run(work, *args):
    result = subprocess.run([MIRVO, *args], cwd=work, capture_output=True, check=False)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(content.encode() if isinstance(content, str) else content)


# (arguments after the programs, exit code, how the output reads, expected, standard error)
ROWS = [
    (["--format", "json"], 1, from_json, SCORES, ""),
    (["--format", "json", "--summary"], 1, from_json, SCORES, SUMMARY),
    (["--format", "junit"], 1, from_junit, UNSCORED, ""),
    (["--format", "tap"], 1, from_tap, UNSCORED, ""),
    (["--format", "csv"], 1, from_csv, GRADEBOOK, ""),
    (["--summary"], 1, lambda out: out[out.index("Summary"):], SUMMARY, ""),
    (["--format", "json", "--show-hidden"], 1, lambda out: from_json(out)[1][3][2],
     ("secret", False, "[1002h] is 0Ch, expected 03h"), ""),
]

RESULTS = {"score": 1, "tests": [
    {"name": "5 + 7", "score": 1, "max_score": 1, "status": "passed", "output": "", "visibility": "visible"},
    {"name": CARRY, "score": 0, "max_score": 2, "status": "failed", "output": "[1002h] is 0Ch, expected 10h",
     "visibility": "visible"},
    {"name": "secret", "score": 0, "max_score": 1, "status": "failed", "output": "[1002h] is 0Ch, expected 03h",
     "visibility": "after_published"}]}


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
