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
for tool in Xvfb xdotool jackd jack_lsp; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done

source "$root/scripts/virtual-desktop.sh"
fail() { echo "FAILED: $*"; echo "--- program output"; grep -v '^ALSA' "$work/kestrine.log" | tail -20 || true; exit 1; }

start_display 90 || fail "Xvfb did not start"
start_jack || fail "the JACK dummy server did not start"

# A fresh run directory without DeviceConfig.xml: a first start, which opens the
# running JACK server by itself and keeps it in DeviceConfig.xml.
run="$work/run"
mkdir -p "$run"
cp "$program" "$run/kestrine"
[ -d "$root/run" ] && cp -r "$root/run/." "$run/"
rm -f "$run/DeviceConfig.xml"

(cd "$run" && exec ./kestrine >"$work/kestrine.log" 2>&1) &
kestrine=$!
pids+=($kestrine)
# find_window TITLE TENTHS: the id of the first window whose title starts with TITLE,
# waiting up to TENTHS tenths of a second; empty when none appears.
find_window() {
  local id=""
  for _ in $(seq 1 "$2"); do
    id=$(xdotool search --name "^$1" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
# Generous waits: on a loaded machine start-up can take several seconds.
window=$(find_window Kestrine 300)
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
wait_for() { for _ in $(seq 1 300); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }
# "inode size checksum" of every file below a folder: what would change if it were rewritten.
fingerprint() { (cd "$1" && find . -type f -printf '%p %i %s\n' | sort && find . -type f -exec md5sum {} + | sort); }

xdotool type --delay 50 r
sleep 2
xdotool key Return
sleep 0.5
# A session never named: Save Session asks for a name.
file_dialog s "Save Session As" "$run/gigA.session"
wait_for "$run/gigA.session" || fail "gigA.session was not written"
sleep 0.5
[ ! -e "$run/Untitled.session" ] || fail "Untitled.session was written without a question"
loopsA=$(sed -n 's:.*<path>\(.*Loops.*\)</path>.*:\1:p' "$run/gigA.session" | head -1)
[ -n "$loopsA" ] && [ -d "$run/$loopsA" ] || fail "gigA.session names no loop folder"
before=$(fingerprint "$run/$loopsA")

import -window root "$out/e2e_window.png" 2>/dev/null || xwd -root -silent >"$out/e2e_window.xwd" || true

# A second take, saved as another session in the same folder: gigA's loops stay as they were.
refocus
xdotool type --delay 50 r
sleep 1.5
xdotool key Return
sleep 0.5
file_dialog a "Save Session As" "$run/gigB.session"
wait_for "$run/gigB.session" || fail "gigB.session was not written"
sleep 0.5
[ "$(fingerprint "$run/$loopsA")" = "$before" ] || fail "saving gigB changed gigA's loop files"
grep -q "<path>$loopsA</path>" "$run/gigB.session" && fail "gigB.session names gigA's loop folder"

# Reopen gigA and save it again: its take comes back as it was saved.
file_dialog o "Load Session" "$run/gigA.session"
sleep 2
refocus
xdotool key alt+f
sleep 0.5
xdotool key s
for _ in $(seq 1 100); do grep -q "<path>$loopsA</path>" "$run/gigA.session" || break; sleep 0.1; done
sleep 0.5
loopsA2=$(sed -n 's:.*<path>\(.*Loops.*\)</path>.*:\1:p' "$run/gigA.session" | head -1)
[ -n "$loopsA2" ] && [ "$loopsA2" != "$loopsA" ] || fail "gigA was not saved again after reopening"
cmp -s <(cd "$run/$loopsA2" && find . -type f -exec md5sum {} + | sort) <(echo "$before" | grep -E '^[0-9a-f]{32} ') ||
  fail "gigA reopened does not hold the take saved in it"

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
