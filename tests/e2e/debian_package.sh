#!/usr/bin/env bash
# The Debian package as `make package` makes it: named kestrine_<version>_amd64.deb, holding
# the program, its data, desktop entry, icon and manual page under /usr, and declaring the
# libraries it needs. lintian checks it where lintian is installed.
# Usage: debian_package.sh BUILD_DIR. Exit 77 (skipped) without cpack's Debian tools.
set -euo pipefail
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/kestrine_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no kestrine_<version>_amd64.deb: $(ls "$work")"
[ "$(basename "$deb")" = "kestrine_1.73_amd64.deb" ] || fail "the package is named $(basename "$deb")"

dpkg-deb --contents "$deb" >"$work/contents.txt"
for f in ./usr/bin/kestrine ./usr/share/kestrine/help.txt ./usr/share/kestrine/accent.wav \
         ./usr/share/kestrine/Skins/Kestrel/Kestrel.xml ./usr/share/applications/kestrine.desktop \
         ./usr/share/icons/hicolor/scalable/apps/kestrine.svg ./usr/share/man/man1/kestrine.1.gz \
         ./usr/share/doc/kestrine/copyright ./usr/share/doc/kestrine/changelog.gz; do
  grep -q " $f\$" "$work/contents.txt" || fail "the package does not hold $f"
done
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libportaudio2 libportmidi0 libexpat1; do
  grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib: $depends"
done
echo "Depends: $depends"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
fi
echo "PASSED: $(basename "$deb") holds the installation and declares its libraries"
