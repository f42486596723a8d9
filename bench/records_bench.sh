#!/usr/bin/env bash
# The cost of the records: the small subset of bench/run.sh extracted plainly and with
# "--manifest --dedupe link", interleaved, N rounds (default 15); prints the best wall time and the
# mean CPU time of each. Needs the corpus of bench/run.sh (or gen_corpus.py) and a Release dornick.
set -euo pipefail
rounds=${1:-15}
dornick=${DORNICK:-$(dirname "$0")/../build-release/console/dornick}
corpus=${CORPUS:-/dev/shm/dornick-bench/corpus}
work=$(mktemp -d /dev/shm/records-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cat "$corpus"/small/*.eml >/dev/null
for _ in $(seq "$rounds"); do
  rm -rf "$work/a" "$work/b" "$work/m.jsonl"
  /usr/bin/time -f "plain %e %U %S" "$dornick" -o "$work/a" "$corpus/small" >/dev/null 2>>"$work/times"
  /usr/bin/time -f "records %e %U %S" "$dornick" --manifest "$work/m.jsonl" --dedupe link -o "$work/b" \
    "$corpus/small" >/dev/null 2>>"$work/times"
done
awk '{ if (!($1 in best) || $2 < best[$1]) best[$1] = $2; cpu[$1] += $3 + $4; n[$1]++ }
     END { for (k in best) printf "%-8s best %.2f s  mean CPU %.3f s\n", k, best[k], cpu[k] / n[k] }' "$work/times"
