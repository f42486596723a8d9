#!/usr/bin/env python3
"""Reference extractor for the benchmark only: every part with a file name of every message of
each mbox, decoded, written under the base name of its file name into the output folder.
Usage: python_mbox_extract.py <output folder> <mbox files...>"""
import email.policy
import mailbox
import os
import sys


def main():
    folder = sys.argv[1]
    for path in sys.argv[2:]:
        box = mailbox.mbox(path, factory=None, create=False)
        for key in box.iterkeys():
            message = email.message_from_bytes(box.get_bytes(key), policy=email.policy.compat32)
            for part in message.walk():
                name = part.get_filename()
                if not name or part.is_multipart():
                    continue
                name = os.path.basename(name)
                if name in ("", ".", ".."):
                    continue
                data = part.get_payload(decode=True) or b""
                with open(os.path.join(folder, name), "wb") as out:
                    out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
