#!/usr/bin/env bash
# Builds dornick and extracts the attachments of the example mails (or of the mail files given)
# into ./out, then shows what it made.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/setup.sh build >/dev/null
files=()
if [ $# -eq 0 ]; then
  files=("$top"/examples/*.eml)
else
  # dornick takes a relative mail path relative to its own folder: hand it absolute paths.
  for f in "$@"; do case "$f" in /*) files+=("$f");; *) files+=("$here/$f");; esac; done
fi
out="$here/out"
# Into a pipe dornick writes UTF-16LE with CR LF (the form its front end reads): shown as UTF-8.
"$top/build/console/dornick" /P /L /O "$out" "${files[@]}" 2>&1 | iconv -f UTF-16LE -t UTF-8 | tr -d '\r'
echo
echo "Output in $out:"
find "$out" -mindepth 1 | sed "s|^$out/|  |" | sort
