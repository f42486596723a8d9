#!/usr/bin/env bash
# The scripts a new user runs first: scripts/setup.sh explains what to do when it cannot install
# packages, and scripts/extract.sh says what it does and gives the same tree when run twice.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d /tmp/dornick-scripts-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "scripts_test: $*" >&2; exit 1; }

# 1. Not root, no sudo, a package missing: the script names the packages and the command to run.
mkdir "$scratch/bin"
for tool in bash dirname grep cat env; do ln -s "$(command -v $tool)" "$scratch/bin/$tool"; done
printf '#!/bin/sh\necho 1000\n' >"$scratch/bin/id"
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/dpkg-query"
chmod +x "$scratch/bin/id" "$scratch/bin/dpkg-query"
status=0
PATH="$scratch/bin" "$top/scripts/setup.sh" --console "$scratch/never" >"$scratch/setup.out" 2>"$scratch/setup.err" || status=$?
[ $status -eq 1 ] || fail "setup.sh without root and sudo ended with $status"
grep -q "^==> Checking the Debian packages the build needs" "$scratch/setup.out" || fail "no step message"
grep -q "These Debian packages are missing: build-essential cmake ninja-build pkg-config libicu-dev zlib1g-dev libgsf-1-dev liblzma-dev libssl-dev nlohmann-json3-dev$" \
  "$scratch/setup.err" || fail "the missing packages are not named: $(cat "$scratch/setup.err")"
grep -q "su -c 'apt-get update && apt-get install build-essential" "$scratch/setup.err" || fail "no command to run"
grep -q "qt6" "$scratch/setup.err" && fail "extraction asks for the front end's packages"
[ ! -e "$scratch/never" ] || fail "configured although packages are missing"

# 2. extract.sh twice in the same folder: the same files with the same bytes, and its steps told.
mkdir "$scratch/work"
cd "$scratch/work"
"$top/scripts/extract.sh" >"$scratch/first.out" 2>&1 || fail "first run failed: $(tail -5 "$scratch/first.out")"
for step in "==> Checking the Debian packages" "==> Configuring into" "==> Building the console program dornick" \
            "==> Extracting 3 argument(s) into $scratch/work/out"; do
  grep -qF "$step" "$scratch/first.out" || fail "no step \"$step\""
done
(cd out && find . -type f -exec md5sum {} + | LC_ALL=C sort) >"$scratch/first.sums"
"$top/scripts/extract.sh" >"$scratch/second.out" 2>&1 || fail "second run failed"
grep -qF "==> Emptying $scratch/work/out" "$scratch/second.out" || fail "the output was not emptied"
(cd out && find . -type f -exec md5sum {} + | LC_ALL=C sort) >"$scratch/second.sums"
diff "$scratch/first.sums" "$scratch/second.sums" >/dev/null || fail "the second run gave another tree"
[ "$(wc -l <"$scratch/first.sums")" -eq 4 ] || fail "expected three attachments and the log"
# 3. A folder that is not an earlier output is left alone.
mkdir "$scratch/other" && mkdir "$scratch/other/out" && echo mine >"$scratch/other/out/keep.txt"
cd "$scratch/other"
"$top/scripts/extract.sh" >"$scratch/third.out" 2>&1 && fail "an unknown ./out was replaced"
[ "$(cat out/keep.txt)" = mine ] || fail "an unknown ./out was touched"
echo "scripts OK"
