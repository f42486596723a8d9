#!/bin/bash
# Mbox benchmark: the small subset of run.sh written as one mbox (2,000 messages), dornick on it
# against dornick on the same mails as files in one run, and against the peers that read mbox:
# ripmime --mailbox, GMime's mbox mode (gmime_extract --mbox) and Python's mailbox with email.
# Output on tmpfs, warm page cache, best of REPEAT; every tool's output is checked by name and
# bytes against the originals. A second archive of ten copies shows whether memory stays flat.
#
# Usage: bench/mbox_bench.sh
# Environment: DORNICK (default build-release/console/dornick), BENCH_ROOT (default
#   /dev/shm/dornick-bench, with the corpus of run.sh), REPEAT (default 3).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-3}"
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
python3 - "$corpus/small" "$mbox" <<'PY'
import os, re, sys
folder, target = sys.argv[1], sys.argv[2]
with open(target, "wb") as out:
    for name in sorted(os.listdir(folder)):
        mail = open(os.path.join(folder, name), "rb").read()
        out.write(b"From bench@example.jp Tue Jan  3 10:05:00 2017\n")
        out.write(re.sub(rb"(?m)^(>*From )", rb">\1", mail))
        if not mail.endswith(b"\n"):
            out.write(b"\n")
        out.write(b"\n")
PY
for i in 1 2 3 4 5 6 7 8 9 10; do cat "$mbox"; done >"$mbox10"
cat "$corpus"/small/*.eml "$mbox" "$mbox10" >/dev/null

# run_one <label> <tool/mode> <archive>
run_one() {
  local label="$1" tool="$2" archive="$3" dest="$out/mbox" stats="$root/time.txt"
  local best_wall="" best_rss="" i bytes wall rss started ended verdict
  bytes=$(wc -c <"$archive")
  for ((i = 0; i < repeat; i++)); do
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
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN {exit !(a < b)}'; then
      best_wall="$wall"
      best_rss="$rss"
    fi
  done
  verdict=$(python3 "$here/check_output.py" "$corpus/small.manifest" "$dest")
  awk -v label="$label" -v tool="$tool" -v bytes="$bytes" -v wall="$best_wall" -v rss="$best_rss" \
      -v verdict="$verdict" 'BEGIN {
        printf "| %-24s | %-13s | %9.1f | %7.1f | %6.3f | %s |\n", label, tool, bytes / wall / 1e6, rss / 1024, wall, verdict
      }'
  rm -rf "$dest"
}

echo
echo "| input                    | tool          |      MB/s | peak MiB | wall s | output |"
echo "|--------------------------|---------------|-----------|----------|--------|--------|"
run_one "small, 2,000 files" dornick/files "$mbox"
for tool in dornick/mbox ripmime/mbox gmime/mbox python/mbox; do run_one "small, one mbox" "$tool" "$mbox"; done
run_one "small x10, one mbox" dornick/mbox "$mbox10"
