#!/usr/bin/env python3
"""mirvo test on what a class hands in when it is hostile. One table: each
row something on disk, the row (or the line on standard error) it must get
and the reason; run as real processes in every format, each read back by its
own parser (json, xml.etree, csv, PyYAML for TAP's diagnostics). A token
held by a file outside the class must reach none of them.

    hostile_test.py MIRVO
"""
import csv
import io
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

try:
    import yaml
except ImportError:  # the diagnostics' values are JSON strings too
    yaml = None

MIRVO = sys.argv[1]
TOKEN = "TOKEN_7f3a9c"
EXERCISE = 'title = "Add"\ntext = "Add."\n[[case]]\nname = "5 + 7"\ngiven = "[1000h]=5h,7h"\nexpect = "[1002h]=0Ch"\n'
GOOD = "MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n"
LINK = "a symbolic link, not followed"


def row(points, reason=None):
    return ("row", points, reason)


def skipped(reason):
    return ("skipped", None, reason)


# What is on disk below class/, how it is made, and what it must get.
CLASS = [
    ("good.asm", ("file", GOOD), row(1)),
    ("sub/ana.asm", ("file", GOOD), row(1)),  # a folder is walked to every depth
    ("link.asm", ("link", "../secret.asm"), row(0, LINK)),
    ("dangling.asm", ("link", "nowhere.asm"), row(0, LINK)),
    ("fifo.asm", ("fifo", None), row(0, "a FIFO, not a file")),
    ("socket.asm", ("socket", None), row(0, "a socket, not a file")),
    ("huge.asm", ("sparse", 17 << 20), row(0, "class/huge.asm is larger than 16 MiB, longer than any program")),
    ("big.bin", ("file", b"\0" * 65537), row(0, "class/big.bin is larger than 65536 bytes")),
    ("twin.asm", ("hardlink", "good.asm"), skipped("the same file as class/good.asm")),
    ("README.txt", ("file", "Read me first."), skipped("not a program")),
    ("good.asm~", ("file", GOOD), skipped("not a program")),
    (".hidden.asm", ("file", GOOD), skipped("a hidden file")),
    ("secret.txt", ("link", "../secret.asm"), skipped("not a program")),
]

# Moodle's folders, Canvas's files and a folder of any name, with --by-folder,
# in the order of their names: (path below moodle/, content or None for a
# folder, then the row it gets: file, student, id, points, words of the reason
# or note).
MOODLE = [
    ("Ana Lima_12345_assignsubmission_file_/lab1.asm", GOOD,
     ("Ana Lima_12345_assignsubmission_file_/lab1.asm", "Ana Lima", "12345", 1,
      "the folder holds lab1.asm and lab1.bin; the grader read lab1.asm")),
    ("Ana Lima_12345_assignsubmission_file_/lab1.bin", b"\xc9", None),
    ("Ben Reis_777_assignsubmission_file_", None,
     ("Ben Reis_777_assignsubmission_file_/", "Ben Reis", "777", 0, "the folder is empty")),
    # A link newer than the student's program is not the one graded.
    ("Dee Sol_9_assignsubmission_file_/a.asm", ("newer link", "../../secret.asm"), None),
    ("Dee Sol_9_assignsubmission_file_/lab.asm", GOOD,
     ("Dee Sol_9_assignsubmission_file_/lab.asm", "Dee Sol", "9", 1, "the grader read lab.asm")),
    ("cy/link.asm", ("link", "../../secret.asm"), ("cy/link.asm", "cy", "", 0, LINK)),
    ("limaana_55_66_lab.asm", GOOD, ("limaana_55_66_lab.asm", "limaana", "55", 1, None)),
]

# Gradescope: what the submission folder holds, the score, words of the
# message the student reads, and the exit code.
GRADESCOPE = [
    ({"lab1.asm": GOOD, "lab1.bin": b"\xc9", "notes.txt": "n"}, 1,
     "your submission holds lab1.asm, lab1.bin and notes.txt; the grader read lab1.asm", 0),
    ({}, 0, "your submission is empty", 1),
    ({"lab1.zip": b"PK\3\4"}, 0, "lab1.zip is an archive the grader does not open", 1),
    ({"a.asm": GOOD, "b.asm": GOOD}, 0, "holds a.asm and b.asm and the grader reads one program", 1),
    ({"lab1.asm": ("link", "../../secret.asm")}, 0, LINK, 1),
    ({"lab1.asm": ("fifo", None)}, 0, "a FIFO, not a file", 1),
]

# A report over any name that is graded is refused before anything runs;
# hard.asm is a hard link of class/good.asm made outside the class.
OUTPUTS = [
    ("class/good.asm", "class/good.asm"),
    ("hard.asm", "class/good.asm"),
    ("./class/sub/../good.asm", "class/good.asm"),
    ("class/dangling.asm", "class/dangling.asm"),
    ("class/fifo.asm", "class/fifo.asm"),
    ("class/sub.d/report.txt", "class/sub.d"),  # through a link that the class holds
]

# The learner's own commands on one program: a FIFO that no one writes to
# reads as empty at once, and a pipe (what <(...) names) is read whole.
# Each row: the command (PIPE: a pipe holding MVI A, 3 / RET as an image),
# its exit code and words of its standard output.
PIPE = "/dev/fd/PIPE"
ONE_PROGRAM = [
    (["run", "fifo.bin"], 2, "the byte 00h at 0000h is no instruction"),
    (["dis", "fifo.bin"], 0, "0 bytes"),
    (["check", "fifo.bin", "--expect", "A=0h"], 0, "PASS fifo.bin"),
    (["asm", "class/fifo.asm", "-o", "fifo.out"], 0, ""),
    (["run", "--as", "image", PIPE], 0, "A 03h"),
    (["check", "--as", "image", PIPE, "--expect", "A=3h"], 0, "PASS"),
]


def make(path, how):
    kind, value = how if isinstance(how, tuple) else ("file", how)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if kind == "file":
        with open(path, "wb") as file:
            file.write(value.encode() if isinstance(value, str) else value)
    elif kind == "link":
        os.symlink(value, path)
    elif kind == "newer link":  # a link a minute newer than anything else
        os.symlink(value, path)
        later = time.time() + 60
        os.utime(path, (later, later), follow_symlinks=False)
    elif kind == "hardlink":
        os.link(os.path.join(os.path.dirname(path), value), path)
    elif kind == "fifo":
        os.mkfifo(path)
    elif kind == "socket":
        socket.socket(socket.AF_UNIX).bind(path)
    elif kind == "sparse":
        with open(path, "wb") as file:
            file.truncate(value)


def run(work, *args):
    # A FIFO opened by mistake would block: the timeout fails the row instead.
    try:
        result = subprocess.run([MIRVO, *args], cwd=work, capture_output=True, timeout=30, check=False)
    except subprocess.TimeoutExpired:
        return None, "", "timed out"
    return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")


def yaml_block(block):
    if yaml is not None:
        return yaml.safe_load("\n".join(block))
    fields = dict(line.strip().split(": ", 1) for line in block if ": " in line and line.startswith("  ") and
                  not line.startswith("   "))
    return {"points": int(fields.get("points", 0)),
            "message": json.loads(fields["message"]) if "message" in fields else None}


# A TAP point's YAML holds its points and, on a failure, the message.
def from_tap(text):
    rows, block = {}, None
    for line in text.splitlines() + [""]:
        if line == "  ---":
            block = []
        elif line == "  ...":
            fields = yaml_block(block)
            rows[last] = (fields.get("points", 0), fields.get("message"))
            block = None
        elif block is not None:
            block.append(line)
        elif match := re.fullmatch(r"(not )?ok \d+ - (.*): 5 \+ 7", line):
            last = match.group(2)
            rows[last] = (0 if match.group(1) else 1, None)
    return rows


# A testcase's points are a property; a failure or error holds the message.
def from_junit(text):
    rows = {}
    for case in ElementTree.fromstring(text).iter("testcase"):
        points = case.find("properties/property[@name='points']")
        problem = next((child for child in case if child.tag in ("failure", "error")), None)
        rows[case.get("classname")] = (int(points.get("value")) if points is not None else 0,
                                       None if problem is None else problem.get("message"))
    return rows


READERS = {
    "text": lambda out: {m.group(2): (int(m.group(3)), m.group(4)) for m in
                         re.finditer(r"^(PASS|FAIL) (.*) \((\d+)/1\)(?:: (.*))?$", out, re.M)},
    "json": lambda out: {r["file"]: (r["score"], r.get("error")) for r in map(json.loads, out.splitlines())},
    "junit": from_junit,
    "tap": from_tap,
    "csv": lambda out: {r["file"]: (int(r["score"]), None) for r in csv.DictReader(io.StringIO(out, newline=""))},
}


def skipped_lines(err):
    return dict(re.findall(r"^mirvo: skipped (.*?): (.*)$", err, re.M))


def check_class(work, failures):
    rows = {f"class/{name}": (points, reason) for name, _, (kind, points, reason) in CLASS if kind == "row"}
    skips = {f"class/{name}": reason for name, _, (kind, _, reason) in CLASS if kind == "skipped"}
    skips["class/sub.d"] = "not a program"
    for form, read in READERS.items():
        code, out, err = run(work, "test", "add.toml", "class", "--format", form)
        got = read(out)
        # The formats without the reason still agree on the points.
        expected = {file: (points, None if form == "csv" else reason) for file, (points, reason) in rows.items()}
        if (code, got, skipped_lines(err)) != (1, expected, skips) or TOKEN in out + err:
            failures.append(f"class as {form}: {code}\n  got {got}\n  want {expected}\n  {err!r}")


def check_outputs(work, failures):
    for output, input_name in OUTPUTS:
        code, out, err = run(work, "test", "add.toml", "class", "-o", output)
        refusal = f"mirvo: the report {output} is the input {input_name}; nothing was written\n"
        with open(os.path.join(work, "class/good.asm"), encoding="utf-8") as file:
            intact = file.read() == GOOD
        if (code, out, err.endswith(refusal), intact) != (1, "", True, True) or os.listdir(os.path.join(work, "away")):
            failures.append(f"-o {output}: {code} {out!r} {err!r}")


def check_named(work, failures):
    # The same file named twice, or a folder and one of its files: one row.
    code, out, err = run(work, "test", "add.toml", "class/good.asm", "./class/good.asm", "class/sub",
                         "class/sub/ana.asm")
    want = ({"class/good.asm": (1, None), "class/sub/ana.asm": (1, None)},
            {"./class/good.asm": "the same file as class/good.asm", "class/sub/ana.asm": "named already"})
    if (READERS["text"](out), skipped_lines(err)) != want:
        failures.append(f"named twice: {out!r} {err!r}")
    # Names given are followed; a FIFO among many is a row, with check too.
    for command in (["test", "add.toml"], ["check", "--expect", "[1002h]=0Ch"]):
        code, out, _ = run(work, *command, "class/fifo.asm", "class/link.asm")
        if "class/fifo.asm" not in out or "a FIFO, not a file" not in out or TOKEN not in out:
            failures.append(f"{command[0]} of named files: {code} {out!r}")


def check_one_program(work, failures):
    for command, exit_code, words in ONE_PROGRAM:
        reader, writer = os.pipe()
        os.write(writer, b"\x3e\x03\xc9")
        os.close(writer)
        args = [arg.replace("PIPE", str(reader)) for arg in command]
        try:
            result = subprocess.run([MIRVO, *args], cwd=work, capture_output=True, timeout=30, check=False,
                                    pass_fds=(reader,))
            got = (result.returncode, words in result.stdout.decode(errors="replace"))
        except subprocess.TimeoutExpired:
            got = ("timed out", False)
        os.close(reader)
        if got != (exit_code, True):
            failures.append(f"{' '.join(command)}: {got}")


def check_by_folder(work, failures):
    rows = [(f"moodle/{file}", student, sid, points, words) for _, _, got in MOODLE if got
            for file, student, sid, points, words in [got]]
    skips = {"moodle/notes.txt": "not a program", "moodle/stray.asm": "not in a student's folder"}
    for form in ("csv", "json"):
        code, out, err = run(work, "test", "add.toml", "moodle", "--by-folder", "--format", form)
        if form == "csv":
            got = [(r["file"], r["student"], r["id"], int(r["score"]), None) for r in csv.DictReader(io.StringIO(out))]
        else:
            got = [(r["file"], r["student"], r["id"], r["score"], r.get("note") or r.get("error"))
                   for r in map(json.loads, out.splitlines())]
        # The reason or the note holds the row's words.
        same = len(got) == len(rows) and all(
            g[:4] == w[:4] and (w[4] is None or form == "csv" or w[4] in g[4]) for g, w in zip(got, rows))
        if (code, same, skipped_lines(err)) != (1, True, skips) or TOKEN in out + err:
            failures.append(f"by folder as {form}: {code}\n  got {got}\n  want {rows}\n  {err!r}")


def check_gradescope(work, failures):
    for number, (files, score, words, exit_code) in enumerate(GRADESCOPE):
        folder = os.path.join(work, "gradescope", str(number))
        os.makedirs(folder)
        for name, content in files.items():
            make(os.path.join(folder, name), content)
        results = os.path.join(work, f"results{number}.json")
        code, _, err = run(work, "test", "add.toml", folder, "--format", "gradescope", "-o", results)
        try:
            with open(results, encoding="utf-8") as file:
                text = file.read()
            got = json.loads(text)
        except (OSError, ValueError) as error:
            failures.append(f"gradescope {sorted(files)}: {code}, no results.json: {error}")
            continue
        if (code, got["score"], words in got.get("output", "")) != (exit_code, score, True) or TOKEN in text + err:
            failures.append(f"gradescope {sorted(files)}: {code} {got.get('output')!r}")


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        make(os.path.join(work, "add.toml"), EXERCISE)
        make(os.path.join(work, "secret.asm"), TOKEN + "\n")
        os.makedirs(os.path.join(work, "away"))
        make(os.path.join(work, "fifo.bin"), ("fifo", None))
        make(os.path.join(work, "class/sub.d"), ("link", "../away"))
        for name, how, _ in CLASS:
            make(os.path.join(work, "class", name), how)
        os.link(os.path.join(work, "class/good.asm"), os.path.join(work, "hard.asm"))
        for name, content, _ in MOODLE:
            path = os.path.join(work, "moodle", name)
            make(path, content) if content is not None else os.makedirs(path)
        make(os.path.join(work, "moodle/notes.txt"), "the teacher's")
        make(os.path.join(work, "moodle/stray.asm"), GOOD)
        for check in (check_class, check_outputs, check_named, check_one_program, check_by_folder, check_gradescope):
            check(work, failures)
    print("\n".join(failures) or "every hostile submission gets its row")
    sys.exit(1 if failures else 0)


main()
