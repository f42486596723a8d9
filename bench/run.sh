#!/bin/bash
# End-to-end benchmark: dornick against ripmime, munpack and a small GMime extractor on the same
# generated mails, output on tmpfs, warm page cache. Reports MB/s of mail read, mails per second
# and peak memory per tool, and checks every tool's output bytes against the originals.
#
# The old in-body encodings (uuencode, BinHex) are timed against uudeview and ripmime.
#
# Usage: bench/run.sh [--quick] [--regen] [--old]
#   --quick  a small corpus (for trying the script), --regen  write the corpus again,
#   --old    only the subsets of the old encodings
# Environment: DORNICK (the program; built Release into build-release when unset),
#   BENCH_ROOT (default /dev/shm/dornick-bench), REPEAT (runs per measurement, best kept; default 2).
set -u
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
root="${BENCH_ROOT:-/dev/shm/dornick-bench}"
repeat="${REPEAT:-2}"
quick=0
regen=0
old=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --regen) regen=1 ;;
    --old) old=1 ;;
    *) echo "unknown argument: $arg" >&2; exit 2 ;;
  esac
done
if [ "$quick" = 1 ]; then
  root="${root}-quick"
  gen_args=(--small 200 --large 2 --qp 20 --large-size $((4 << 20)))
  old_gen_args=(--uu 20 --binhex 10)
else
  gen_args=()
  old_gen_args=()
fi
corpus="$root/corpus"
out="$root/out"
tools="$root/tools"
mkdir -p "$tools"

# The programs.
if [ -z "${DORNICK:-}" ]; then
  DORNICK="$repo/build-release/console/dornick"
  if [ ! -x "$DORNICK" ]; then
    cmake -S "$repo" -B "$repo/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DDORNICK_BUILD_TESTS=OFF -DDORNICK_BUILD_GUI=OFF >/dev/null &&
      cmake --build "$repo/build-release" --target dornick -j2 >/dev/null || { echo "cannot build dornick" >&2; exit 1; }
  fi
fi
gmime="$tools/gmime_extract"
if [ "$old" = 0 ] && { [ ! -x "$gmime" ] || [ "$here/gmime_extract.c" -nt "$gmime" ]; }; then
  cc -O2 -o "$gmime" "$here/gmime_extract.c" $(pkg-config --cflags --libs gmime-3.0) || { echo "cannot build the GMime extractor" >&2; exit 1; }
fi
floor="$tools/write_floor"
if [ "$old" = 0 ] && { [ ! -x "$floor" ] || [ "$here/write_floor.c" -nt "$floor" ]; }; then
  cc -O2 -o "$floor" "$here/write_floor.c" || { echo "cannot build write_floor" >&2; exit 1; }
fi
for program in ripmime uudeview /usr/bin/time python3 $([ "$old" = 0 ] && echo munpack); do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done

# The corpus.
if [ "$old" = 0 ] && { [ "$regen" = 1 ] || [ ! -f "$corpus/qp.manifest" ]; }; then
  rm -rf "$corpus"/small "$corpus"/large "$corpus"/qp
  echo "writing the corpus to $corpus ..."
  python3 "$here/gen_corpus.py" "$corpus" "${gen_args[@]}" || exit 1
fi
if [ "$regen" = 1 ] || [ ! -f "$corpus/binhex.manifest" ]; then
  rm -rf "$corpus"/uu "$corpus"/binhex
  echo "writing the old-encoding subsets to $corpus ..."
  python3 "$here/gen_oldenc.py" "$corpus" "${old_gen_args[@]}" || exit 1
fi
# Warm the page cache.
cat "$corpus"/*/*.eml >/dev/null 2>&1

# run_one <label> <subset> <mode: batch|each> <tool>
run_one() {
  local label="$1" subset="$2" mode="$3" tool="$4"
  local dir="$corpus/$subset" dest="$out/$tool" best_wall="" best_rss="" verdict="" i
  local bytes mails
  bytes=$(cat "$dir"/*.eml | wc -c)
  mails=$(ls "$dir" | wc -l)
  for ((i = 0; i < repeat; i++)); do
    rm -rf "$dest"
    mkdir -p "$dest"
    local stats="$root/time.txt" started ended
    started=$EPOCHREALTIME
    case "$tool/$mode" in
      dornick/batch) /usr/bin/time -v -o "$stats" "$DORNICK" /O "$dest" "$dir"/*.eml >/dev/null 2>&1 ;;
      dornick/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 "$DORNICK" /O "$dest" >/dev/null 2>&1 ;;
      ripmime/batch) /usr/bin/time -v -o "$stats" ripmime -i "$dir" -d "$dest" --no-nameless -q >/dev/null 2>&1 ;;
      ripmime/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 ripmime -d "$dest" --no-nameless -q -i >/dev/null 2>&1 ;;
      munpack/batch) /usr/bin/time -v -o "$stats" munpack -f -q -C "$dest" "$dir"/*.eml >/dev/null 2>&1 ;;
      munpack/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 munpack -f -q -C "$dest" >/dev/null 2>&1 ;;
      uudeview/batch) /usr/bin/time -v -o "$stats" uudeview -i -a -q -p "$dest/" "$dir"/*.eml >/dev/null 2>&1 ;;
      uudeview/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 uudeview -i -a -q -p "$dest/" >/dev/null 2>&1 ;;
      gmime/batch) /usr/bin/time -v -o "$stats" "$gmime" "$dest" "$dir"/*.eml >/dev/null 2>&1 ;;
      gmime/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 "$gmime" "$dest" >/dev/null 2>&1 ;;
      # References for the cost of one process: reading each mail, and starting an empty program.
      cat/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 cat >/dev/null 2>&1 ;;
      true/each) ls "$dir"/*.eml | /usr/bin/time -v -o "$stats" xargs -n 1 true >/dev/null 2>&1 ;;
    esac
    local wall rss
    ended=$EPOCHREALTIME
    # The wall time to the microsecond (the time tool's own has 10 ms steps).
    wall=$(awk -v a="$started" -v b="$ended" 'BEGIN {printf "%.4f", b - a}')
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$stats")
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN {exit !(a < b)}'; then
      best_wall="$wall"
      best_rss="$rss"
    fi
  done
  case "$tool" in
    cat | true) verdict="(reference)" ;;
    *) verdict=$(python3 "$here/check_output.py" "$corpus/$subset.manifest" "$dest") ;;
  esac
  awk -v label="$label" -v tool="$tool" -v bytes="$bytes" -v mails="$mails" -v wall="$best_wall" \
      -v rss="$best_rss" -v verdict="$verdict" 'BEGIN {
        if (wall <= 0) wall = 0.005;
        printf "| %-26s | %-8s | %9.1f | %9.0f | %7.1f | %6.3f | %s |\n", label, tool, bytes / wall / 1e6, mails / wall, rss / 1024, wall, verdict
      }'
  rm -rf "$dest"
}

# The floor of the small subset: reading its mails and writing dornick's output tree of it with
# nothing else done (bench/write_floor.c), timed by itself; best of the runs.
floor_row() {
  local dir="$corpus/small" tree="$root/floor-tree" dest="$out/floor" best="" i wall
  rm -rf "$tree" && mkdir -p "$tree"
  "$DORNICK" /O "$tree" "$dir"/*.eml >/dev/null 2>&1
  for ((i = 0; i < repeat; i++)); do
    rm -rf "$dest" && mkdir -p "$dest"
    wall=$("$floor" "$tree" "$dest" "$dir"/*.eml | sed -n 's/.*wall \([0-9.]*\) ms.*/\1/p')
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN {exit !(a < b)}'; then best="$wall"; fi
  done
  awk -v bytes="$(cat "$dir"/*.eml | wc -c)" -v mails="$(ls "$dir" | wc -l)" -v ms="$best" 'BEGIN {
    printf "| %-26s | %-8s | %9.1f | %9.0f | %7s | %6.3f | %s |\n", "small, one run", "floor", bytes / ms / 1e3, mails / ms * 1e3, "-", ms / 1e3, "(reference: the reads and writes alone)"
  }'
  rm -rf "$tree" "$dest"
}

echo
echo "| subset                     | tool     |      MB/s |  mails/s | peak MiB | wall s | output |"
echo "|----------------------------|----------|-----------|----------|----------|--------|--------|"
if [ "$old" = 0 ]; then
  for tool in dornick ripmime munpack gmime; do run_one "small, one run" small batch "$tool"; done
  floor_row
  for tool in dornick ripmime munpack gmime cat true; do run_one "small, a process per mail" small each "$tool"; done
  for tool in dornick ripmime munpack gmime; do run_one "large base64, one run" large batch "$tool"; done
  for tool in dornick ripmime munpack gmime; do run_one "quoted-printable, one run" qp batch "$tool"; done
fi
for tool in dornick uudeview ripmime; do run_one "uuencode 50 KiB, one run" uu batch "$tool"; done
for tool in dornick uudeview ripmime; do run_one "BinHex 50 KiB, one run" binhex batch "$tool"; done

# The TNEF subsets (bare containers and mails carrying them) have a script of their own.
[ "$old" = 0 ] && BENCH_ROOT="$root" DORNICK="$DORNICK" "$here/tnef_bench.sh" $([ "$regen" = 1 ] && echo --regen)
# So have the message files (.msg), against msgconvert and munpack.
[ "$old" = 0 ] && BENCH_ROOT="$root" DORNICK="$DORNICK" "$here/msg_bench.sh" $([ "$regen" = 1 ] && echo --regen)
