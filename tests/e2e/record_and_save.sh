#!/usr/bin/env bash
# The real program driven as a user would: a virtual display (Xvfb), the JACK dummy
# server, kestrine started for the first time in a fresh directory, "r" typed to record,
# Return to stop, File > Save Session through the keyboard (it asks for a name: gigA). A
# second take is saved as gigB in the same folder, which must leave gigA's loop files
# untouched; gigA reopened and saved again holds the take saved in it. The device the
# first start found is kept, the program still runs, and a screenshot is kept.
# Usage: record_and_save.sh KESTRINE_BINARY OUTPUT_DIR. Exit 77 (skipped) without the
# display or audio tools.
set -euo pipefail
program=$1; out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool jackd jack_lsp

start_display || fail "Xvfb did not start"
start_jack || fail "the JACK dummy server did not start"

# A first start, which opens the running JACK server by itself and keeps it in
# DeviceConfig.xml.
start_first_run "$program"
[ -n "$window" ] || fail "no Kestrine window appeared"
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true

# file_dialog LETTER TITLE PATH: the File menu entry of that letter opens a file dialog
# titled TITLE (else the test fails), which is given PATH.
file_dialog() {
  refocus
  xdotool key alt+f
  sleep 0.5
  xdotool key "$1"
  [ -n "$(find_window "$2" 100)" ] || fail "no \"$2\" dialog appeared"
  sleep 0.5
  xdotool key ctrl+a
  xdotool type --delay 20 "$3"
  sleep 0.3
  xdotool key Return
  sleep 1  # a second Return when the first only took a completion of the name
  xdotool search --name "^$2" >/dev/null 2>&1 && xdotool key Return
  return 0
}
# Without a window manager nothing gives the focus back to the window when a dialog closes.
refocus() { xdotool windowfocus --sync "$window" 2>/dev/null || true; }
# wait_title PATTERN: the window's title matches the shell pattern within 30 s (what the
# program shows once a command has run: "[name]" after a save or load, "*" once changed).
wait_title() {
  for _ in $(seq 1 300); do
    # shellcheck disable=SC2254
    case "$(xdotool getwindowname "$window" 2>/dev/null)" in $1) return 0 ;; esac
    sleep 0.1
  done
  return 1
}
# take SECONDS: records a take of about that long on the current track.
take() {
  refocus
  xdotool type --delay 50 r
  wait_title '*]\*' || fail "recording did not start"
  sleep "$1"
  xdotool key Return
  sleep 0.5
}
loop_folder() { sed -n 's:.*<path>\(.*Loops.*\)</path>.*:\1:p' "$1" | head -1; }
checksums() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }

take 2
# A session never named: Save Session asks for a name.
file_dialog s "Save Session As" "$run/gigA.session"
wait_title '*\[gigA\]' || fail "gigA was not saved"
[ ! -e "$run/Untitled.session" ] || fail "Untitled.session was written without a question"
loopsA=$(loop_folder "$run/gigA.session")
[ -n "$loopsA" ] && [ -d "$run/$loopsA" ] || fail "gigA.session names no loop folder"
# Inodes too: a file rewritten in place or replaced would show.
filesA=$(cd "$run/$loopsA" && find . -type f -printf '%p %i %s\n' | sort)
sumsA=$(checksums "$run/$loopsA")

import -window root "$out/e2e_window.png" 2>/dev/null || xwd -root -silent >"$out/e2e_window.xwd" || true

# A second take, saved as another session in the same folder: gigA's loops stay as they were.
take 1.5
file_dialog a "Save Session As" "$run/gigB.session"
wait_title '*\[gigB\]' || fail "gigB was not saved"
[ "$(cd "$run/$loopsA" && find . -type f -printf '%p %i %s\n' | sort)" = "$filesA" ] &&
  [ "$(checksums "$run/$loopsA")" = "$sumsA" ] || fail "saving gigB changed gigA's loop files"
[ "$(loop_folder "$run/gigB.session")" != "$loopsA" ] || fail "gigB.session names gigA's loop folder"

# Reopen gigA and save it again: its take comes back as it was saved.
file_dialog o "Load Session" "$run/gigA.session"
wait_title '*\[gigA\]' || fail "gigA was not reopened"
refocus
xdotool key alt+f
sleep 0.5
xdotool key s
for _ in $(seq 1 300); do [ "$(loop_folder "$run/gigA.session")" != "$loopsA" ] && break; sleep 0.1; done
loopsA2=$(loop_folder "$run/gigA.session")
[ -n "$loopsA2" ] && [ "$loopsA2" != "$loopsA" ] || fail "gigA was not saved again after reopening"
[ "$(checksums "$run/$loopsA2")" = "$sumsA" ] ||
  fail "gigA reopened does not hold the take saved in it: $(checksums "$run/$loopsA2") against $sumsA"

kill -0 "$kestrine" 2>/dev/null || fail "kestrine is no longer running"
grep -q '<driver_type>12</driver_type>' "$run/DeviceConfig.xml" 2>/dev/null &&
  grep -q '<input_device_name>system</input_device_name>' "$run/DeviceConfig.xml" ||
  fail "the first start did not keep JACK's system device in DeviceConfig.xml"

# The track WAV: 16-bit stereo at 48 kHz, between half a second and ten seconds of audio.
found=""
for wav in "$run/$loopsA2"/*.wav; do
  bytes=$(stat -c %s "$wav")
  seconds=$(( (bytes - 44) / (48000 * 4) ))
  echo "$(basename "$wav"): $bytes bytes, about $seconds s"
  if [ "$bytes" -gt $((44 + 48000 * 4 / 2)) ] && [ "$bytes" -lt $((44 + 48000 * 4 * 10)) ]; then found=$wav; fi
done
[ -n "$found" ] || fail "no track WAV of the recorded length was written"
echo "PASSED: sessions kept apart, take saved and reloaded whole, program alive; screenshot in $out/e2e_window.png"
