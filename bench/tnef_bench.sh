#!/bin/bash
# TNEF benchmark: dornick against tnef on bare winmail.dat containers, and against the MIME peers of
# run.sh on mails that carry them. Output on tmpfs, warm page cache, one run per measurement (best
# of REPEAT); every tool's output is checked by name and bytes against the originals.
#
# Usage: bench/tnef_bench.sh [--regen]
# Environment: DORNICK (default build-release/console/dornick), BENCH_ROOT (default
#   /dev/shm/dornick-bench), REPEAT (default 1).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-1}"
DORNICK="${DORNICK:-$repo/build-release/console/dornick}"
corpus="$root/corpus"
out="$root/out"
tools="$root/tools"
gmime="$tools/gmime_extract"
[ -x "$DORNICK" ] || { echo "missing: $DORNICK (run bench/run.sh once, or set DORNICK)" >&2; exit 1; }
for program in tnef ripmime munpack /usr/bin/time python3; do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done
if [ ! -x "$gmime" ]; then
  mkdir -p "$tools"
  cc -O2 -o "$gmime" "$here/gmime_extract.c" $(pkg-config --cflags --libs gmime-3.0) || { echo "cannot build the GMime extractor" >&2; exit 1; }
fi
if [ "${1:-}" = --regen ] || [ ! -f "$corpus/tnef-mail.manifest" ]; then
  rm -rf "$corpus/tnef-bare" "$corpus/tnef-mail"
  python3 "$here/gen_tnef.py" "$corpus" || exit 1
fi
cat "$corpus"/tnef-*/* >/dev/null

# run_one <label> <subset> <tool/mode>
run_one() {
  local label="$1" subset="$2" tool="$3" dir="$corpus/$2" dest="$out/tnef" stats="$root/time.txt"
  local best_wall="" best_rss="" i bytes files
  bytes=$(cat "$dir"/* | wc -c)
  files=$(ls "$dir" | wc -l)
  for ((i = 0; i < repeat; i++)); do
    rm -rf "$dest"
    mkdir -p "$dest"
    local started=$EPOCHREALTIME
    case "$tool" in
      dornick) /usr/bin/time -v -o "$stats" "$DORNICK" /O "$dest" "$dir"/* >/dev/null 2>&1 ;;
      dornick/each) ls "$dir"/* | /usr/bin/time -v -o "$stats" xargs -n 1 "$DORNICK" /O "$dest" >/dev/null 2>&1 ;;
      tnef/each) ls "$dir"/* | /usr/bin/time -v -o "$stats" xargs -n 1 tnef -C "$dest" -f >/dev/null 2>&1 ;;
      ripmime) /usr/bin/time -v -o "$stats" ripmime -i "$dir" -d "$dest" --no-nameless -q >/dev/null 2>&1 ;;
      munpack) /usr/bin/time -v -o "$stats" munpack -f -q -C "$dest" "$dir"/*.eml >/dev/null 2>&1 ;;
      gmime) /usr/bin/time -v -o "$stats" "$gmime" "$dest" "$dir"/*.eml >/dev/null 2>&1 ;;
    esac
    local wall rss
    # The wall time to the microsecond (the time tool's own has 10 ms steps).
    wall=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.4f", b - a}')
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$stats")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN {exit !(a < b)}'; then
      best_wall="$wall"
      best_rss="$rss"
    fi
  done
  verdict=$(python3 "$here/check_output.py" "$corpus/$subset.manifest" "$dest")
  awk -v label="$label" -v tool="$tool" -v bytes="$bytes" -v files="$files" -v wall="$best_wall" \
      -v rss="$best_rss" -v verdict="$verdict" 'BEGIN {
        if (wall <= 0) wall = 0.005;
        printf "| %-26s | %-12s | %9.1f | %9.0f | %7.1f | %6.3f | %s |\n", label, tool, bytes / wall / 1e6, files / wall, rss / 1024, wall, verdict
      }'
  rm -rf "$dest"
}

echo
echo "| subset                     | tool         |      MB/s |  files/s | peak MiB | wall s | output |"
echo "|----------------------------|--------------|-----------|----------|----------|--------|--------|"
for tool in dornick dornick/each tnef/each; do run_one "bare winmail.dat" tnef-bare "$tool"; done
for tool in dornick ripmime munpack gmime; do run_one "mails with winmail.dat" tnef-mail "$tool"; done
