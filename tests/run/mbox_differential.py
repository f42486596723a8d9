#!/usr/bin/env python3
"""Splits mbox archives with our splitter and with Python's mailbox module and compares every
message byte for byte. Only inputs on which that module is right: LF line ends, "From " lines only
as separators (after an empty line, before a header field), nothing quoted.

usage: mbox_differential.py DUMP_TOOL WORK_FOLDER [CORPUS_MBOX_FOLDER]
"""
import mailbox
import os
import random
import shutil
import subprocess
import sys

HEADER_NAMES = [b"Subject", b"From", b"To", b"X-Mailer", b"Content-Type", b"Received", b"Date"]
BODY_LINES = [b"", b"", b"plain text", b"Fromage is cheese", b"x From here", b"-- ", b"From:", b"\t indented",
              b"=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", b"\x1b$B$3$s$K$A$O\x1b(B", b"\xff\xfe\x00binary\x01"]


def make_message(rng):
    lines = []
    for _ in range(rng.randint(1, 6)):
        name = rng.choice(HEADER_NAMES)
        lines.append(name + b": value " + str(rng.randint(0, 10**6)).encode())
        if rng.random() < 0.3:
            lines.append(b"  folded " + str(rng.randint(0, 99)).encode())
    if rng.random() < 0.9:
        lines.append(b"")
        for _ in range(rng.randint(0, 30)):
            line = rng.choice(BODY_LINES)
            if rng.random() < 0.05:
                line = b"y" * rng.randint(1000, 20000)
            lines.append(line)
    return lines


def make_archive(rng):
    out = []
    for number in range(rng.randint(1, 40)):
        envelope = rng.choice([b"From - Wed Dec  9 10:00:00 2026", b"From MAILER-DAEMON Thu Oct  5 10:35:22 2006",
                               b"From a@example.com  Mon Apr  3 11:17:04 2006"])
        if number > 0:
            out.append(b"")
        out.append(envelope)
        out.extend(make_message(rng))
    text = b"\n".join(out)
    ending = rng.choice([b"", b"\n", b"\n\n"])
    return text + ending


def python_messages(path):
    box = mailbox.mbox(path, create=False)
    return [box.get_bytes(key) for key in box.keys()]


def our_messages(tool, path, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    result = subprocess.run([tool, path, folder], capture_output=True)
    if result.returncode != 0:
        raise SystemExit("dump tool failed on %s: %s" % (path, result.stderr.decode(errors="replace")))
    count = int(result.stdout)
    return [open(os.path.join(folder, str(n)), "rb").read() for n in range(1, count + 1)]


def compare(tool, path, folder, what):
    ours = our_messages(tool, path, folder)
    theirs = python_messages(path)
    if len(ours) != len(theirs):
        return ["%s: %d messages, Python's mailbox %d" % (what, len(ours), len(theirs))]
    return ["%s: message %d differs" % (what, n + 1) for n, (a, b) in enumerate(zip(ours, theirs)) if a != b]


def main():
    tool, work = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else None
    os.makedirs(work, exist_ok=True)
    rng = random.Random(20261209)
    failures = []
    compared = 0
    for case in range(200):
        path = os.path.join(work, "generated.mbox")
        with open(path, "wb") as f:
            f.write(make_archive(rng))
        failures += compare(tool, path, os.path.join(work, "split"), "generated case %d" % case)
        compared += 1
    if corpus and os.path.isdir(corpus):
        for name in sorted(os.listdir(corpus)):
            failures += compare(tool, os.path.join(corpus, name), os.path.join(work, "split"), name)
            compared += 1
    for failure in failures:
        print(failure)
    print("%d archives compared, %d differences" % (compared, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
