#!/usr/bin/env python3
"""mirvo fmt and mirvo asm --fix on every kind of file they may be handed.
One table: each row a situation on disk, the command's exit code, words its
standard error must hold, and whether the source must keep its bytes or
hold the new text. The new text comes from a reference run of the same
command on a plain copy of the source; every row then checks the source
byte for byte, and that the folder holds no file it did not hold before.
Rows that need root (another user, a small tmpfs) are skipped without it.

    rewrite_test.py MIRVO
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile

MIRVO = sys.argv[1]
SOURCE = b"mvi b,2ch\nmov a,b\nret\n"
# Grows when laid out: 56,000 bytes that no longer fit a 64 KiB disk.
BIG = b"mvi a,2ch ; c\n" * 4000
IMAGE = bytes([0x3E, 0x2C, 0x06, 0x20, 0xC9])
EXERCISE = b'title = "Add"\ntext = "Add."\n'
NOBODY = 65534
# The image of asm goes nowhere: only the source is looked at.
COMMANDS = {"fmt": ["fmt"], "fix": ["asm", "--fix", "-o", "/dev/null"]}
ROOT = os.geteuid() == 0


def as_nobody():
    os.setgid(NOBODY)
    os.setgroups([])
    os.setuid(NOBODY)


def plain(folder):
    return os.path.join(folder, "p.asm"), SOURCE, None


def hard_link(folder):
    path = os.path.join(folder, "p.asm")
    write(path, SOURCE)
    os.link(path, os.path.join(folder, "twin.asm"))
    return path, SOURCE, None


def owner_change(folder):
    # A file of root's that anyone may write, in a folder anyone may write.
    os.chmod(folder, 0o777)
    path = os.path.join(folder, "p.asm")
    write(path, SOURCE, 0o666)
    return path, SOURCE, as_nobody


def closed_folder(folder):
    # nobody's own file in root's folder, which nobody may not write.
    path = os.path.join(folder, "p.asm")
    write(path, SOURCE)
    os.chown(path, NOBODY, NOBODY)
    return path, SOURCE, as_nobody


def read_only(folder):
    os.chmod(folder, 0o777)
    path = os.path.join(folder, "p.asm")
    write(path, SOURCE, 0o444)
    return path, SOURCE, as_nobody


def full_disk(folder):
    disk = os.path.join(folder, "disk")
    os.mkdir(disk)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk], capture_output=True).returncode:
        return None
    path = os.path.join(disk, "big.asm")
    write(path, BIG)
    return path, BIG, None


def fifo(folder):
    path = os.path.join(folder, "f.asm")
    os.mkfifo(path)
    return path, None, None


def image(folder):
    return os.path.join(folder, "p.bin"), IMAGE, None


def unnamed_image(folder):
    return os.path.join(folder, "prog"), IMAGE, None


def exercise(folder):
    return os.path.join(folder, "ex.toml"), EXERCISE, None


def write(path, data, mode=0o644):
    with open(path, "wb") as out:
        out.write(data)
    os.chmod(path, mode)


NEW, KEPT = "new", "kept"
NOT_REGULAR = "cannot replace {}: it is not a regular file; it was left as it was"
LINKS = "cannot replace {}: it has other hard links"
HINT = "(--in-place writes over it)"
# (situation, setup, needs root, extra options, exit code, words on stderr, source afterwards)
TABLE = [
    ("a plain source", plain, False, [], 0, [], NEW),
    ("a hard link", hard_link, False, [], 1, [LINKS, HINT], KEPT),
    ("a hard link, --in-place", hard_link, False, ["--in-place"], 0, [], NEW),
    ("an owner it cannot keep", owner_change, True, [], 1, ["could not keep its owner and group", HINT], KEPT),
    ("an owner it cannot keep, --in-place", owner_change, True, ["--in-place"], 0, [], NEW),
    ("a folder it cannot write", closed_folder, True, [], 1, ["its folder takes no new file", HINT], KEPT),
    ("a folder it cannot write, --in-place", closed_folder, True, ["--in-place"], 0, [], NEW),
    ("a file it may not write", read_only, True, [], 1, ["cannot replace {}: Permission denied"], KEPT),
    ("a file it may not write, --in-place", read_only, True, ["--in-place"], 1, ["Permission denied"], KEPT),
    ("a full disk", full_disk, True, [], 1, ["No space left on device"], KEPT),
    ("a full disk, --in-place", full_disk, True, ["--in-place"], 1, ["No space left on device"], KEPT),
    ("a FIFO no one writes", fifo, False, [], 1, [NOT_REGULAR], KEPT),
    ("an image", image, False, [], 1, ["{} was skipped: it reads as a program image, not a source"], KEPT),
    ("an image without extension", unnamed_image, False, [], 1, ["{} was skipped: it reads as a program image"], KEPT),
    ("an exercise file", exercise, False, [], 1, ["{} was skipped: its name is not a program's"], KEPT),
]


def reference(command, data):
    """The new text: the command run on a plain copy of the source."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "p.asm")
        write(path, data)
        subprocess.run([MIRVO] + COMMANDS[command] + [path], capture_output=True, timeout=30)
        with open(path, "rb") as copy:
            return copy.read()


def run_row(command, row):
    name, setup, needs_root, options, code, words, after = row
    if needs_root and not ROOT:
        return "skipped (not root)"
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)
        made = setup(folder)
        if made is None:
            return "skipped (no tmpfs)"
        path, data, user = made
        if data is not None and not os.path.exists(path):
            write(path, data)
        before = sorted(os.listdir(os.path.dirname(path)))
        try:
            result = subprocess.run([MIRVO] + COMMANDS[command] + options + [path], capture_output=True,
                                    timeout=30, preexec_fn=user)
            faults = []
            if result.returncode != code:
                faults.append("exit %d, not %d" % (result.returncode, code))
            err = result.stderr.decode("utf-8", "replace")
            faults += ["no '%s' in %r" % (w.format(path), err) for w in words if w.format(path) not in err]
            if data is None:
                if not stat.S_ISFIFO(os.lstat(path).st_mode):
                    faults.append("the FIFO is gone")
            else:
                with open(path, "rb") as source:
                    now = source.read()
                wanted = reference(command, data) if after == NEW else data
                if now != wanted or (after == NEW and now == data):
                    faults.append("the source holds %r" % now[:80])
            if after == NEW and b"applied" not in result.stderr and command == "fix":
                faults.append("no fixes named")
            if sorted(os.listdir(os.path.dirname(path))) != before:
                faults.append("the folder now holds %s" % sorted(os.listdir(os.path.dirname(path))))
            return "; ".join(faults)
        finally:
            if os.path.ismount(os.path.dirname(path)):
                subprocess.run(["umount", os.path.dirname(path)])


def piped_stdin(command):
    """The source on a pipe: refused unread, no fix applied, no hang."""
    result = subprocess.run([MIRVO] + COMMANDS[command] + ["/dev/stdin"], input=SOURCE * 4000,
                            capture_output=True, timeout=30)
    err = result.stderr.decode()
    if result.returncode != 1 or NOT_REGULAR.format("/dev/stdin") not in err or "applied" in err:
        return "exit %d, %r" % (result.returncode, err)
    return ""


def main():
    failures = 0
    for command in COMMANDS:
        for row in TABLE:
            fault = run_row(command, row)
            if fault and not fault.startswith("skipped"):
                failures += 1
                print("FAIL %s: %s: %s" % (command, row[0], fault))
            else:
                print("%s %s: %s" % (fault or "ok", command, row[0]))
        fault = piped_stdin(command)
        failures += bool(fault)
        print("%s %s: /dev/stdin on a pipe%s" % ("FAIL" if fault else "ok", command, ": " + fault if fault else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
