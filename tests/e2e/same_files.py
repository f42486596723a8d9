#!/usr/bin/env python3
"""Checks that the output roots of the parts of a sharded run together hold exactly the files of
one whole run: for every folder (relative to its root), the multiset of (name without its "_(n)_"
counter, bytes) over all parts equals that of the whole run. Counters may differ, because
same-named files of one folder may fall in different parts; nothing else may.

Usage: same_files.py WHOLE_ROOT PART_ROOT...   (exit 0 when equal, 1 with the differences)
"""
import collections
import hashlib
import os
import re
import sys

# "scan_(3)_.pdf" is "scan.pdf" counted: the counter sits before the extension, or at the end
# (after a left-to-right mark when the stem holds right-to-left text).
COUNTER = re.compile(rb"(\xe2\x80\x8e)?_\(\d+\)_(?=(\.[^.]*)?$)")
# The log file is each root's own, and names the mails each part read.
OWN_FILES = {b"dornick.txt"}


def contents(root):
    found = collections.Counter()
    for folder, _, files in os.walk(os.fsencode(root)):
        relative = os.path.relpath(folder, os.fsencode(root))
        for name in files:
            if relative == b"." and name in OWN_FILES:
                continue
            with open(os.path.join(folder, name), "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            found[(relative, COUNTER.sub(b"", name), digest)] += 1
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    whole = contents(sys.argv[1])
    parts = collections.Counter()
    for root in sys.argv[2:]:
        parts += contents(root)
    if whole == parts:
        print(f"same files: {sum(whole.values())} in the whole run and in {len(sys.argv) - 2} parts")
        return 0
    for key in sorted((whole - parts).keys()):
        print("only in the whole run:", key)
    for key in sorted((parts - whole).keys()):
        print("only in the parts:", key)
    return 1


if __name__ == "__main__":
    sys.exit(main())
