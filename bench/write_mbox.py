#!/usr/bin/env python3
"""Writes the mails of a folder (sorted by name) as one mbox: each after an envelope line, its
"From " lines quoted, an empty line after it.

Usage: write_mbox.py FOLDER TARGET
"""
import os
import re
import sys

folder, target = sys.argv[1], sys.argv[2]
with open(target, "wb") as out:
    for name in sorted(os.listdir(folder)):
        mail = open(os.path.join(folder, name), "rb").read()
        out.write(b"From bench@example.jp Tue Jan  3 10:05:00 2017\n")
        out.write(re.sub(rb"(?m)^(>*From )", rb">\1", mail))
        if not mail.endswith(b"\n"):
            out.write(b"\n")
        out.write(b"\n")
