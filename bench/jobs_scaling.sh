#!/bin/bash
# Workers benchmark: dornick with -j 1, 2, 4 and 8 over the subsets of run.sh (small, large base64,
# quoted-printable) and the small subset written as one mbox, output on tmpfs, warm page cache.
# One row per subset and -j: the best wall time of REPEAT runs, the CPU time (user + system) of that
# run, and its peak memory; each -j run's output tree is checked against the -j 1 run (names and
# bytes), so that a speed-up never comes with a different output.
#
# Usage: bench/jobs_scaling.sh
# Environment: DORNICK (default build-release/console/dornick), BENCH_ROOT (default
#   /dev/shm/dornick-bench, with the corpus of run.sh), REPEAT (default 3), JOBS (default "1 2 4 8").
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-3}"
jobs_list="${JOBS:-1 2 4 8}"
DORNICK="${DORNICK:-$repo/build-release/console/dornick}"
corpus="$root/corpus"
out="$root/jobs-out"
[ -x "$DORNICK" ] || { echo "missing: $DORNICK (run bench/run.sh once, or set DORNICK)" >&2; exit 1; }
[ -f "$corpus/small.manifest" ] || { echo "missing: the corpus of bench/run.sh in $corpus" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "missing: /usr/bin/time" >&2; exit 1; }
mbox="$root/mbox/small.mbox"
if [ ! -f "$mbox" ]; then
  mkdir -p "$root/mbox"
  python3 "$here/write_mbox.py" "$corpus/small" "$mbox"
fi

# tree_sum <folder>: one line per file (path and bytes' digest), sorted, digested.
tree_sum() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum | sha256sum | cut -c1-16); }

echo "| input | -j | wall s | CPU s (user+sys) | peak RSS MB | speed-up | output |"
echo "|---|---|---|---|---|---|---|"
for subset in small large qp mbox; do
  if [ "$subset" = mbox ]; then input="$mbox"; else input="$corpus/$subset"; fi
  cat "$input" "$input"/*.eml >/dev/null 2>&1
  base_wall="" base_sum=""
  for j in $jobs_list; do
    best="" best_cpu="" best_rss=""
    for ((r = 0; r < repeat; r++)); do
      rm -rf "$out" && mkdir -p "$out"
      started=$EPOCHREALTIME
      /usr/bin/time -f "%U %S %M" -o "$root/jobs-time.txt" "$DORNICK" -j "$j" -o "$out" "$input" >/dev/null 2>&1
      ended=$EPOCHREALTIME
      wall=$(echo "$ended - $started" | bc -l)
      read -r user sys rss <"$root/jobs-time.txt"
      if [ -z "$best" ] || (($(echo "$wall < $best" | bc -l))); then
        best=$wall best_cpu=$(echo "$user + $sys" | bc -l) best_rss=$((rss / 1024))
      fi
    done
    sum=$(tree_sum "$out")
    [ -z "$base_wall" ] && base_wall=$best base_sum=$sum
    verdict=same
    [ "$sum" = "$base_sum" ] || verdict=DIFFERENT
    printf '| %s | %s | %.2f | %.2f | %s | %.2fx | %s |\n' "$subset" "$j" "$best" "$best_cpu" "$best_rss" \
      "$(echo "$base_wall / $best" | bc -l)" "$verdict"
  done
done
rm -rf "$out"
