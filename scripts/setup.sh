#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and builds,
# saying what it does at each step.
# Usage: scripts/setup.sh [--console] [build-dir] [extra cmake arguments...]
#   --console  only what the console program needs: no front end, no tests, only its target.
set -euo pipefail
cd "$(dirname "$0")/.."

console_only=0
if [ "${1:-}" = "--console" ]; then
  console_only=1
  shift
fi
build_dir=${1:-build}
shift || true

# liblzma-dev: the static libxml2 that libgsf brings needs it, and no -dev package depends on it.
packages=(build-essential cmake ninja-build pkg-config libicu-dev zlib1g-dev libgsf-1-dev liblzma-dev libssl-dev nlohmann-json3-dev)
if [ $console_only -eq 0 ]; then
  packages+=(libgtest-dev libgmock-dev tzdata clang-format qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic)
  # Programs the tests run: cpack's Debian generator needs file (and dpkg-dev, from build-essential);
  # the package check reads the manual pages with man, and runs lintian; the taskbar test needs
  # a private session bus; the screenshots are taken on a virtual X server (xvfb-run needs xauth,
  # which apt only recommends).
  # git lists the tracked files for the format check. qemu-user runs the console unit tests as
  # older processors (test.sh). GNU parallel runs the README's recipe for a run in parts.
  packages+=(file man-db lintian dbus-daemon xvfb xauth git qemu-user parallel)
fi

say() { echo "==> $*"; }

say "Checking the Debian packages the build needs"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo_cmd=(sudo)
    else
      cat >&2 <<MESSAGE
These Debian packages are missing: ${missing[*]}
This script is not run as root and sudo is not installed, so it cannot install them.
Install them as root, then run this script again:

    su -c 'apt-get update && apt-get install ${missing[*]}'

(or run this script as root, or install sudo and add yourself to the "sudo" group).
MESSAGE
      exit 1
    fi
  fi
  say "Installing ${missing[*]} (this may take a few minutes)"
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ $console_only -eq 1 ] && cmake_args+=(-DDORNICK_BUILD_GUI=OFF -DDORNICK_BUILD_TESTS=OFF)
say "Configuring into $build_dir"
cmake -S . -B "$build_dir" "${cmake_args[@]}" "$@" >/dev/null
if [ $console_only -eq 1 ]; then
  say "Building the console program dornick"
  cmake --build "$build_dir" -j"$(nproc)" --target dornick
else
  say "Building everything"
  cmake --build "$build_dir" -j"$(nproc)"
fi
