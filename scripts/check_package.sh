#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it: its files, stripped programs, the
# manual pages, the desktop entry and its icon, an unpacked dornick that works from the current
# folder, and (where dpkg allows) an installation into a scratch root.
# Usage: scripts/check_package.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/dornick-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

echo "== Building the package in $build"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/dornick_*_amd64.deb | head -n 1)
echo "== Checking $deb"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/dornick ./usr/bin/tarnfield ./usr/share/man/man1/dornick.1.gz ./usr/share/man/man1/tarnfield.1.gz \
            ./usr/share/bash-completion/completions/dornick ./usr/share/zsh/vendor-completions/_dornick \
            ./usr/share/applications/tarnfield.desktop ./usr/share/icons/hicolor/scalable/apps/tarnfield.svg; do
  grep -qx -- "$path" <<<"$contents" || fail "missing $path"
done
dpkg-deb -f "$deb" Package | grep -qx dornick || fail "package name"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no dependency on the Qt libraries"

dpkg-deb -x "$deb" "$scratch/x"
for program in dornick tarnfield; do
  file "$scratch/x/usr/bin/$program" | grep -q ", stripped" || fail "$program is not stripped"
done
for page in dornick tarnfield; do
  MANWIDTH=80 man -l "$scratch/x/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "^NAME" || fail "man page $page"
done
desktop="$scratch/x/usr/share/applications/tarnfield.desktop"
grep -qx "Exec=tarnfield" "$desktop" || fail "desktop entry Exec"
grep -qx "Icon=tarnfield" "$desktop" || fail "desktop entry Icon"
grep -qx "StartupWMClass=tarnfield" "$desktop" || fail "desktop entry window class"
xmllint --noout "$scratch/x/usr/share/icons/hicolor/scalable/apps/tarnfield.svg" 2>/dev/null ||
  grep -q "<svg" "$scratch/x/usr/share/icons/hicolor/scalable/apps/tarnfield.svg" || fail "icon"
bash -n "$scratch/x/usr/share/bash-completion/completions/dornick" || fail "bash completion"

# The unpacked program works where the user is, not where it lives.
mkdir -p "$scratch/work"
cp "$top/examples/weekly_report.eml" "$scratch/work/"
(cd "$scratch/work" && LC_ALL=C "$scratch/x/usr/bin/dornick" --version | grep -q "^dornick ") || fail "--version"
(cd "$scratch/work" && LC_ALL=C "$scratch/x/usr/bin/dornick" -p weekly_report.eml >"$scratch/out.txt") ||
  fail "extraction failed"
grep -q "^Extracting files from \"$scratch/work/weekly_report.eml\"" "$scratch/out.txt" || fail "messages"
[ -n "$(find "$scratch/work/output" -type f)" ] || fail "nothing extracted into ./output"

# An installation into a scratch root: dpkg's own database there, dependencies not checked (the
# scratch root holds no other package).
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
if dpkg --root="$root" --log=/dev/null --force-depends --force-not-root --force-script-chrootless \
     -i "$deb" >/dev/null 2>"$scratch/dpkg.err"; then
  dpkg --root="$root" -L dornick | grep -qx /usr/bin/dornick || fail "dpkg does not list /usr/bin/dornick"
  [ -x "$root/usr/bin/dornick" ] && [ -x "$root/usr/bin/tarnfield" ] || fail "programs not installed"
  dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless -r dornick >/dev/null 2>&1
  [ ! -e "$root/usr/bin/dornick" ] || fail "removal left /usr/bin/dornick"
  echo "== Installed into and removed from a scratch root"
else
  echo "== dpkg could not install into a scratch root here:"; sed 's/^/   /' "$scratch/dpkg.err"
fi
echo "== Package OK"
