#!/usr/bin/env bash
# Builds everything and runs the whole test suite (console program and front end), then builds the
# console program and its tests again under AddressSanitizer and UBSan (build-sanitize/, no front
# end) and runs them there: the unit tests, the end-to-end tests and the replays of every saved fuzz
# input and seed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
QT_QPA_PLATFORM=offscreen ctest --test-dir build -j"$(nproc)" --output-on-failure --timeout 600

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
