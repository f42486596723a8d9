#!/bin/bash
# Mbox benchmark: the small subset of run.sh written as one mbox (2,000 messages), dornick on it
# against dornick on the same mails as files in one run, and against the peers that read mbox:
# ripmime --mailbox, GMime's mbox mode (gmime_extract --mbox) and Python's mailbox with email.
# Output on tmpfs, warm page cache. The machine may be shared: the runs are interleaved (one of
# each tool per round, REPEAT rounds) and the best of each is kept; the slow peers (Python,
# ripmime) run in the first SLOW_REPEAT rounds only. Every tool's output is checked by name and
# bytes against the originals. A second archive of ten copies shows whether memory stays flat.
#
# Usage: bench/mbox_bench.sh
# Environment: DORNICK (default build-release/console/dornick), BENCH_ROOT (default
#   /dev/shm/dornick-bench, with the corpus of run.sh), REPEAT (default 5), SLOW_REPEAT (default 1).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-5}"
slow_repeat="${SLOW_REPEAT:-1}"
DORNICK="${DORNICK:-$repo/build-release/console/dornick}"
corpus="$root/corpus"
out="$root/out"
tools="$root/tools"
gmime="$tools/gmime_extract"
[ -x "$DORNICK" ] || { echo "missing: $DORNICK (run bench/run.sh once, or set DORNICK)" >&2; exit 1; }
[ -f "$corpus/small.manifest" ] || { echo "missing: the corpus of bench/run.sh in $corpus" >&2; exit 1; }
for program in ripmime /usr/bin/time python3; do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done
if [ ! -x "$gmime" ] || [ "$here/gmime_extract.c" -nt "$gmime" ]; then
  mkdir -p "$tools"
  cc -O2 -o "$gmime" "$here/gmime_extract.c" $(pkg-config --cflags --libs gmime-3.0) || { echo "cannot build the GMime extractor" >&2; exit 1; }
fi
# The archive: every mail after an envelope line, its "From " lines quoted, an empty line after it.
mbox="$root/mbox/small.mbox"
mbox10="$root/mbox/small10.mbox"
mkdir -p "$root/mbox"
python3 "$here/write_mbox.py" "$corpus/small" "$mbox"
for i in 1 2 3 4 5 6 7 8 9 10; do cat "$mbox"; done >"$mbox10"
cat "$corpus"/small/*.eml "$mbox" "$mbox10" >/dev/null

# run_once <row> <tool/mode> <archive>: one timed run; keeps the best wall time (and its peak
# memory) of the row, and checks the output of the row's first run.
declare -A best_wall best_rss verdicts
run_once() {
  local row="$1" tool="$2" archive="$3" dest="$out/mbox" stats="$root/time.txt"
  local started ended wall rss
  rm -rf "$dest" && mkdir -p "$dest"
  started=$EPOCHREALTIME
  case "$tool" in
    dornick/files) /usr/bin/time -v -o "$stats" "$DORNICK" /O "$dest" "$corpus"/small/*.eml >/dev/null 2>&1 ;;
    dornick/mbox) /usr/bin/time -v -o "$stats" "$DORNICK" /O "$dest" "$archive" >/dev/null 2>&1 ;;
    ripmime/mbox) /usr/bin/time -v -o "$stats" ripmime --mailbox -i "$archive" -d "$dest" --no-nameless -q >/dev/null 2>&1 ;;
    gmime/mbox) /usr/bin/time -v -o "$stats" "$gmime" --mbox "$dest" "$archive" >/dev/null 2>&1 ;;
    python/mbox) /usr/bin/time -v -o "$stats" python3 "$here/python_mbox_extract.py" "$dest" "$archive" >/dev/null 2>&1 ;;
  esac
  ended=$EPOCHREALTIME
  wall=$(awk -v a="$started" -v b="$ended" 'BEGIN {printf "%.4f", b - a}')
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$stats")
  if [ -z "${best_wall[$row]:-}" ] || awk -v a="$wall" -v b="${best_wall[$row]}" 'BEGIN {exit !(a < b)}'; then
    best_wall[$row]="$wall"
    best_rss[$row]="$rss"
  fi
  [ -n "${verdicts[$row]:-}" ] || verdicts[$row]=$(python3 "$here/check_output.py" "$corpus/small.manifest" "$dest")
  rm -rf "$dest"
}

# Rows: label, tool, archive.
rows=("small, 2,000 files|dornick/files|$mbox"
      "small, one mbox|dornick/mbox|$mbox"
      "small, one mbox|gmime/mbox|$mbox"
      "small, one mbox|python/mbox|$mbox"
      "small, one mbox|ripmime/mbox|$mbox"
      "small x10, one mbox|dornick/mbox|$mbox10")
for ((round = 0; round < repeat; round++)); do
  for row in "${rows[@]}"; do
    IFS='|' read -r label tool archive <<<"$row"
    case "$tool" in python/* | ripmime/*) ((round < slow_repeat)) || continue ;; esac
    run_once "$row" "$tool" "$archive"
  done
done

echo
echo "| input                    | tool          |      MB/s | peak MiB | wall s | output |"
echo "|--------------------------|---------------|-----------|----------|--------|--------|"
for row in "${rows[@]}"; do
  IFS='|' read -r label tool archive <<<"$row"
  [ -n "${best_wall[$row]:-}" ] || continue # a slow peer left out with SLOW_REPEAT=0
  awk -v label="$label" -v tool="$tool" -v bytes="$(wc -c <"$archive")" -v wall="${best_wall[$row]}" \
      -v rss="${best_rss[$row]}" -v verdict="${verdicts[$row]}" 'BEGIN {
        printf "| %-24s | %-13s | %9.1f | %7.1f | %6.3f | %s |\n", label, tool, bytes / wall / 1e6, rss / 1024, wall, verdict
      }'
done
