#!/bin/bash
# Message-file (.msg) benchmark: dornick against the Debian pipeline msgconvert (a .msg to an .eml)
# then munpack (the .eml's attachments), on generated message files. Output on tmpfs, warm page
# cache, best of REPEAT runs; every tool's output is checked by name and bytes against the originals.
#
# Usage: bench/msg_bench.sh [--regen]
# Environment: DORNICK (default build-release/console/dornick), BENCH_ROOT (default
#   /dev/shm/dornick-bench), REPEAT (default 1).
# Needs msgconvert (Debian package libemail-outlook-message-perl) and munpack (mpack), and libgsf's
# headers for the generator (libgsf-1-dev, which the build needs anyway).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-1}"
DORNICK="${DORNICK:-$repo/build-release/console/dornick}"
corpus="$root/corpus"
out="$root/out"
tools="$root/tools"
generator="$tools/gen_msg"
[ -x "$DORNICK" ] || { echo "missing: $DORNICK (run bench/run.sh once, or set DORNICK)" >&2; exit 1; }
for program in msgconvert munpack c++ pkg-config /usr/bin/time python3; do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done
if [ ! -x "$generator" ] || [ "$here/gen_msg.cpp" -nt "$generator" ] ||
  [ "$repo/tests/decode/msg_writer.cpp" -nt "$generator" ]; then
  mkdir -p "$tools"
  c++ -O2 -std=c++20 -o "$generator" "$here/gen_msg.cpp" "$repo/tests/decode/msg_writer.cpp" \
    -I"$repo/tests/decode" $(pkg-config --cflags --libs libgsf-1) || { echo "cannot build gen_msg" >&2; exit 1; }
fi
if [ "${1:-}" = --regen ] || [ ! -f "$corpus/msg.manifest" ]; then
  rm -rf "$corpus/msg" "$corpus/msg.manifest"
  "$generator" "$corpus" || exit 1
fi
cat "$corpus"/msg/*.msg >/dev/null

# run_one <label> <tool>
run_one() {
  local label="$1" tool="$2" dir="$corpus/msg" dest="$out/msg" stats="$root/time.txt"
  local converted="$out/msg-eml" best_wall="" best_rss="" i bytes files
  bytes=$(cat "$dir"/*.msg | wc -c)
  files=$(ls "$dir" | wc -l)
  for ((i = 0; i < repeat; i++)); do
    rm -rf "$dest" "$converted"
    mkdir -p "$dest" "$converted"
    local started=$EPOCHREALTIME
    case "$tool" in
      dornick) /usr/bin/time -v -o "$stats" "$DORNICK" /O "$dest" "$dir"/*.msg >/dev/null 2>&1 ;;
      dornick/each) ls "$dir"/*.msg | /usr/bin/time -v -o "$stats" xargs -n 1 "$DORNICK" /O "$dest" >/dev/null 2>&1 ;;
      # msgconvert writes each NAME.eml into the current folder; one Perl process for all files,
      # then one munpack for all the mails (the fastest way to run either).
      msgconvert+munpack)
        (cd "$converted" && /usr/bin/time -v -o "$stats" msgconvert "$dir"/*.msg >/dev/null 2>&1)
        /usr/bin/time -v -a -o "$stats" munpack -f -q -C "$dest" "$converted"/*.eml >/dev/null 2>&1
        ;;
    esac
    local wall rss
    # The wall time to the microsecond (the time tool's own has 10 ms steps).
    wall=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.4f", b - a}')
    # The larger of the pipeline's two steps.
    rss=$(awk -F': ' '/Maximum resident set size/ {if ($2 > m) m = $2} END {print m}' "$stats")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN {exit !(a < b)}'; then
      best_wall="$wall"
      best_rss="$rss"
    fi
  done
  verdict=$(python3 "$here/check_output.py" "$corpus/msg.manifest" "$dest")
  awk -v label="$label" -v tool="$tool" -v bytes="$bytes" -v files="$files" -v wall="$best_wall" \
      -v rss="$best_rss" -v verdict="$verdict" 'BEGIN {
        if (wall <= 0) wall = 0.005;
        printf "| %-20s | %-18s | %9.1f | %9.0f | %7.1f | %6.3f | %s |\n", label, tool, bytes / wall / 1e6, files / wall, rss / 1024, wall, verdict
      }'
  rm -rf "$dest" "$converted"
}

echo
echo "| subset               | tool               |      MB/s |  files/s | peak MiB | wall s | output |"
echo "|----------------------|--------------------|-----------|----------|----------|--------|--------|"
for tool in dornick dornick/each msgconvert+munpack; do run_one "message files (.msg)" "$tool"; done
