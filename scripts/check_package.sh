#!/usr/bin/env bash
# Builds the two Debian packages from a build folder and checks them: dornick (the console program,
# nothing of Qt) and tarnfield (the front end, needing dornick of its own version); their files,
# dependencies, copyright and changelog, stripped programs, the manual pages, the desktop entry and
# its icon, lintian's verdict, an unpacked dornick that works from the current folder, and (where
# dpkg allows) an installation into a scratch root.
# Usage: scripts/check_package.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/dornick-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

echo "== Building the packages in $build"
rm -f "$build"/dornick_*.deb "$build"/tarnfield_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/dornick_*_amd64.deb)
gui_deb=$(ls "$build"/tarnfield_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "== Checking $deb and $gui_deb"

# Each package holds exactly its own program's files.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
gui_contents=$(dpkg-deb -c "$gui_deb" | awk '{print $6}')
for path in ./usr/bin/dornick ./usr/share/man/man1/dornick.1.gz ./usr/share/bash-completion/completions/dornick \
            ./usr/share/zsh/vendor-completions/_dornick ./usr/share/doc/dornick/copyright \
            ./usr/share/doc/dornick/changelog.gz ./usr/share/lintian/overrides/dornick; do
  grep -qx -- "$path" <<<"$contents" || fail "dornick lacks $path"
done
for path in ./usr/bin/tarnfield ./usr/share/man/man1/tarnfield.1.gz ./usr/share/applications/tarnfield.desktop \
            ./usr/share/icons/hicolor/scalable/apps/tarnfield.svg ./usr/share/doc/tarnfield/copyright \
            ./usr/share/doc/tarnfield/changelog.gz; do
  grep -qx -- "$path" <<<"$gui_contents" || fail "tarnfield lacks $path"
done
grep -q tarnfield <<<"$contents" && fail "dornick holds files of the front end"
grep -qE "bin/dornick|man1/dornick|completions" <<<"$gui_contents" && fail "tarnfield holds files of dornick"
[ "$(dpkg-deb -f "$deb" Package)" = dornick ] || fail "package name dornick"
[ "$(dpkg-deb -f "$gui_deb" Package)" = tarnfield ] || fail "package name tarnfield"
dpkg-deb -f "$deb" Depends | grep -qi qt && fail "dornick depends on Qt"
gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
grep -q "libqt6widgets6" <<<"$gui_depends" || fail "tarnfield does not depend on the Qt libraries"
grep -qF "dornick (= $version)" <<<"$gui_depends" || fail "tarnfield does not depend on dornick $version"
for package in "$deb" "$gui_deb"; do
  [ "$(dpkg-deb -f "$package" Maintainer)" = "dornick developers <maintainers@dornick.org>" ] ||
    fail "maintainer of $package"
done

dpkg-deb -x "$deb" "$scratch/x"
dpkg-deb -x "$gui_deb" "$scratch/x"
for package in dornick tarnfield; do
  head -n 1 "$scratch/x/usr/share/doc/$package/copyright" |
    grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
    fail "$package: the copyright file is not machine-readable"
  zcat "$scratch/x/usr/share/doc/$package/changelog.gz" | head -n 1 | grep -qF "$package ($version) " ||
    fail "$package: the changelog does not begin with this version"
done

# Errors and warnings of lintian fail the check; its overrides must all be needed.
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" "$gui_deb" >"$scratch/lintian.out" 2>&1 ||
    fail "lintian: $(grep -E '^[EW]:' "$scratch/lintian.out" || cat "$scratch/lintian.out")"
  grep -E "^[EW]:|unused-override|mismatched-override" "$scratch/lintian.out" && fail "lintian complains"
  echo "== lintian: no errors, no warnings"
else
  echo "== lintian is not installed: not run"
fi

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
     -i "$deb" "$gui_deb" >/dev/null 2>"$scratch/dpkg.err"; then
  dpkg --root="$root" -L dornick | grep -qx /usr/bin/dornick || fail "dpkg does not list /usr/bin/dornick"
  dpkg --root="$root" -L tarnfield | grep -qx /usr/bin/tarnfield || fail "dpkg does not list /usr/bin/tarnfield"
  [ -x "$root/usr/bin/dornick" ] && [ -x "$root/usr/bin/tarnfield" ] || fail "programs not installed"
  dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless -r tarnfield dornick \
    >/dev/null 2>&1
  [ ! -e "$root/usr/bin/dornick" ] && [ ! -e "$root/usr/bin/tarnfield" ] || fail "removal left a program"
  echo "== Installed into and removed from a scratch root"
else
  echo "== dpkg could not install into a scratch root here:"; sed 's/^/   /' "$scratch/dpkg.err"
fi
echo "== Package OK"
