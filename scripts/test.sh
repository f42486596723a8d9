#!/usr/bin/env bash
# Builds everything and runs the whole test suite (console program and front end), then builds the
# console program and its tests again under AddressSanitizer and UBSan (build-sanitize/, no front
# end) and runs them there: the unit tests, the end-to-end tests and the replays of every saved fuzz
# input and seed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
QT_QPA_PLATFORM=offscreen ctest --test-dir build -j"$(nproc)" --output-on-failure --timeout 600 -E '^gui\.'
# The front end's tests wait on child processes and timers: they run after the rest, one at a time,
# so that the console program's tests (several threads each) do not starve them.
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 600 -R '^gui\.'

# The decoders' vector code has a kernel per width (64 bytes with AVX-512 VBMI, 32 with AVX2, 16),
# and each runs only where the processor has it: the console unit tests run again as a Haswell (no
# AVX-512) and a Nehalem (no AVX2) under qemu-user, so every narrower kernel is tested on every
# machine. All four console test binaries, whole: 36 s for both models on 2 shared cores (this step
# may take 3 minutes at most); the front end's tests and the end-to-end tests (which run dornick as
# a process) stay native. The output (qemu warns about host features it cannot emulate) is shown
# only on a failure.
echo "==> Running the console unit tests under qemu-x86_64 as older processors"
qemu_log=$(mktemp)
trap 'rm -f "$qemu_log"' EXIT
in_qemu() {
  local cpu=$1
  shift
  if ! LC_ALL=C.UTF-8 TZ=Asia/Tokyo qemu-x86_64 -cpu "$cpu" "$@" >"$qemu_log" 2>&1; then
    cat "$qemu_log" >&2
    echo "failed as a $cpu: $*" >&2
    exit 1
  fi
}
for cpu in Haswell Nehalem; do
  for area in foundation decode header run; do
    echo "    $cpu: ${area}_tests"
    in_qemu "$cpu" "build/tests/$area/${area}_tests" --gtest_brief=1
  done
done
# The widest kernels of each model must have run there, not been skipped.
for model in Haswell:32 Nehalem:16; do
  cpu=${model%:*} width=${model#*:}
  in_qemu "$cpu" build/tests/decode/decode_tests --gtest_filter="*VectorKernels*/Bytes$width"
  if ! grep -Eq '^\[  PASSED  \] [1-9]' "$qemu_log" || grep -q SKIPPED "$qemu_log"; then
    cat "$qemu_log" >&2
    echo "the $width-byte kernels did not all run on $cpu" >&2
    exit 1
  fi
done

echo "==> Building the console tests with AddressSanitizer and UBSan into build-sanitize"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORNICK_SANITIZE=ON -DDORNICK_BUILD_GUI=OFF \
  >/dev/null
cmake --build build-sanitize -j"$(nproc)"
# Left out: the checks of the tree and the scripts, which do not depend on the build, and the
# hostile-mail runs under an address-space limit, which the sanitizer's shadow memory cannot meet
# (their inputs are fed to the same code by the fuzz replays).
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize -j"$(nproc)" --output-on-failure --timeout 600 \
  -E '^(scripts\.|LayerCheck\.|TreeFormat\.|HostileMail\.)'
