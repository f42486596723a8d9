#!/usr/bin/env python3
"""Compares what a tool extracted with the manifest of the originals: every expected file must
exist somewhere under the output folder, under its own name, with the original bytes.
Prints "ok N/N" or "WRONG: ..." and exits 0 or 1."""
import hashlib
import os
import sys


def main():
    manifest, output = sys.argv[1], sys.argv[2]
    expected = {}
    lf_digests = {}
    with open(manifest) as f:
        for line in f:
            name, size, digest, lf_digest = line.rstrip("\n").split("\t")
            expected[name] = (int(size), digest)
            lf_digests[name] = lf_digest
    found = {}
    for folder, _, files in os.walk(output):
        for name in files:
            if name in expected:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    data = f.read()
                found.setdefault(name, []).append((len(data), hashlib.sha256(data).hexdigest()))
    missing = [n for n in expected if n not in found]
    different = [n for n, got in found.items() if expected[n] not in got]
    good = len(expected) - len(missing) - len(different)
    if missing or different:
        example = (different or missing)[0]
        note = ""
        if different and all(lf_digests.get(n) in [g[1] for g in found[n]] for n in different):
            note = "; the different ones hold the original with CR LF turned into LF"
        print("WRONG: {0}/{1} ok, {2} missing, {3} different (e.g. {4}){5}".format(
            good, len(expected), len(missing), len(different), example, note))
        return 1
    print("ok {0}/{0}".format(len(expected)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
