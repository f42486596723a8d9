#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the repository's .clang-format; exits 77 (a skip for
# CTest) when clang-format or the git work tree is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
  echo "format check skipped: clang-format is not installed (scripts/setup.sh installs it)"
  exit 77
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "format check skipped: not a git work tree, so the tracked files are unknown"
  exit 77
fi
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h' '*.hpp' '*.cc')
if [ ${#files[@]} -eq 0 ]; then
  echo "format check: no tracked C++ files"
  exit 1
fi
clang-format --dry-run --Werror "${files[@]}"
echo "format check: ${#files[@]} files match .clang-format"
