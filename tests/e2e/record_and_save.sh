#!/usr/bin/env bash
# The real program driven as a user would: a virtual display (Xvfb), the JACK dummy
# server, kestrine started for the first time in a fresh directory, "r" typed to record,
# Return to stop, File > Save Session through the keyboard. Then: the session and a track
# WAV of about the recorded length are on disk, the device it found is kept, the program
# still runs, and a screenshot is kept.
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
window=""
# Generous waits: on a loaded machine start-up can take several seconds.
for _ in $(seq 1 300); do
  window=$(xdotool search --name '^Kestrine' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no Kestrine window appeared"
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true

xdotool type --delay 50 r
sleep 2
xdotool key Return
sleep 0.5
xdotool key alt+f
sleep 0.5
xdotool key s
for _ in $(seq 1 300); do [ -f "$run/Untitled.session" ] && break; sleep 0.1; done
sleep 0.5

import -window root "$out/e2e_window.png" 2>/dev/null || xwd -root -silent >"$out/e2e_window.xwd" || true
kill -0 "$kestrine" 2>/dev/null || fail "kestrine is no longer running"
[ -f "$run/Untitled.session" ] || fail "Untitled.session was not written"
grep -q '<driver_type>12</driver_type>' "$run/DeviceConfig.xml" 2>/dev/null &&
  grep -q '<input_device_name>system</input_device_name>' "$run/DeviceConfig.xml" ||
  fail "the first start did not keep JACK's system device in DeviceConfig.xml"

# The track WAV: 16-bit stereo at 48 kHz, between half a second and ten seconds of audio.
found=""
for wav in "$run"/*.wav; do
  case "$(basename "$wav")" in accent.wav|beat.wav) continue ;; esac
  bytes=$(stat -c %s "$wav")
  seconds=$(( (bytes - 44) / (48000 * 4) ))
  echo "$(basename "$wav"): $bytes bytes, about $seconds s"
  if [ "$bytes" -gt $((44 + 48000 * 4 / 2)) ] && [ "$bytes" -lt $((44 + 48000 * 4 * 10)) ]; then found=$wav; fi
done
[ -n "$found" ] || fail "no track WAV of the recorded length was written"
echo "PASSED: session and track written, program alive; screenshot in $out/e2e_window.png"
