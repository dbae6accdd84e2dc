#!/usr/bin/env bash
# Kestrine installed and started as a desktop user would: `cmake --install` into a scratch
# prefix, the program started from a folder of its own with HOME and the XDG folders
# pointed at scratch folders, under a virtual display with the JACK dummy server. The
# window must open without a missing-data message, show the installed help on F1, and
# write its configuration only into the XDG configuration folder. The command line answers --help, --version and a bad
# option as documented, and the desktop entry validates where the validator is installed.
# Usage: install_and_start.sh BUILD_DIR. Exit 77 (skipped) without the display or audio tools.
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool jackd jack_lsp

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
for f in bin/kestrine share/kestrine/help.txt share/kestrine/accent.wav share/kestrine/beat.wav \
         share/kestrine/Skins/Kestrel/Kestrel.xml share/applications/kestrine.desktop \
         share/icons/hicolor/scalable/apps/kestrine.svg share/man/man1/kestrine.1.gz; do
  [ -f "$prefix/$f" ] || fail "the installation has no $f"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kestrine.desktop" || fail "the desktop entry does not validate"
fi

# The command line, without a display.
help=$(DISPLAY= "$prefix/bin/kestrine" --help) || fail "--help failed"
grep -q '^Usage: kestrine \[options\]' <<<"$help" || fail "--help shows no usage: $help"
[ "$(DISPLAY= "$prefix/bin/kestrine" --version)" = "Kestrine 1.73" ] || fail "--version"
set +e
DISPLAY= "$prefix/bin/kestrine" --no-such-option >/dev/null 2>"$work/usage.txt"
code=$?
set -e
[ "$code" = 2 ] && grep -q "Unknown option 'no-such-option'" "$work/usage.txt" || fail "a bad option gave exit code $code"

start_display || fail "Xvfb did not start"
start_jack || fail "the JACK dummy server did not start"
home="$work/home" elsewhere="$work/elsewhere"
mkdir -p "$home" "$elsewhere"
(cd "$elsewhere" && HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
   exec "$prefix/bin/kestrine" >"$work/kestrine.log" 2>&1) &
pids+=($!)
window=$(find_window Kestrine 300)
[ -n "$window" ] || fail "no Kestrine window appeared"
# The first start saves the default session and finds JACK by itself.
# DeviceConfig.xml comes first, the default session once the MIDI ports (JACK's too) are open.
for _ in $(seq 1 100); do
  [ -f "$work/config/kestrine/DeviceConfig.xml" ] && [ -f "$work/config/kestrine/Default.session" ] && break
  sleep 0.1
done
for f in Default.session SysConfig.xml DeviceConfig.xml; do
  [ -f "$work/config/kestrine/$f" ] || fail "no $f in the configuration folder"
done
[ -d "$work/data/kestrine" ] || fail "the user's data folder was not made"
for title in "Data Folder" "Configuration Folder" "Error"; do
  [ -z "$(xdotool search --name "^$title\$" 2>/dev/null)" ] || fail "a \"$title\" message appeared"
done
# The help comes from the installation: F1 shows it, and no "Error" says it is missing.
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key F1
[ -n "$(find_window "Kestrine Help" 100)" ] || fail "F1 opened no \"Kestrine Help\" window"
[ -z "$(xdotool search --name '^Error$' 2>/dev/null)" ] || fail "the help was not found"
xdotool key Escape
[ -z "$(ls -A "$elsewhere")" ] || fail "files were written into the start folder: $(ls -A "$elsewhere")"
[ -z "$(ls -A "$home")" ] || fail "files were written into the home folder: $(ls -A "$home")"
[ -z "$(find "$prefix" -newer "$work/install.log" -type f)" ] || fail "files were written into the installation"
echo "PASSED: installed, started from elsewhere, configuration only under the XDG folder"
