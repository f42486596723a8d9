#!/usr/bin/env bash
# Builds dornick and extracts the attachments of the example mails (or of the mail files and
# folders given) into ./out, then shows what it made. Each run starts from an empty ./out, so a
# second run gives the same tree.
set -euo pipefail
here=$(pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --console "$top/build-extract"

files=("$@")
[ $# -eq 0 ] && files=("$top"/examples/*.eml)
out="$here/out"
if [ -e "$out" ]; then
  # Only an earlier output of this script is removed: it holds the log dornick.txt at its top.
  if [ ! -f "$out/dornick.txt" ]; then
    echo "$out exists and is not an earlier output of this script (no dornick.txt in it): move it away first." >&2
    exit 1
  fi
  echo "==> Emptying $out"
  rm -rf "$out"
fi
echo "==> Extracting ${#files[@]} argument(s) into $out"
# dornick takes relative paths against the current folder, and prints UTF-8.
status=0
"$top/build-extract/console/dornick" --print --log --output "$out" "${files[@]}" || status=$?
echo
echo "Output in $out:"
find "$out" -mindepth 1 | sed "s|^$out/|  |" | LC_ALL=C sort
exit $status
