#!/usr/bin/env bash
# Builds everything and runs the whole test suite (console program and front end).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
QT_QPA_PLATFORM=offscreen ctest --test-dir build -j"$(nproc)" --output-on-failure --timeout 600
