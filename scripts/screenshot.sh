#!/usr/bin/env bash
# Takes a screenshot of the Kestrine window as a user sees it: a virtual X display
# (Xvfb), the JACK dummy audio server when jackd is installed, the program started in a
# fresh directory (first start), a PNG of the whole screen.
# Usage: screenshot.sh BUILD_DIR OUT.png [SECONDS_TO_WAIT] [SKIN]
# With SKIN (a folder of the run directory's Skins), the program starts with that skin.
set -euo pipefail
build=$(cd "$1" && pwd); out=$2; wait_s=${3:-3}; skin=${4:-}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1366x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display" JACK_NO_START_SERVER=1
for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

if command -v jackd >/dev/null && ! jack_lsp >/dev/null 2>&1; then
  jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
fi

bash "$root/scripts/stage-run-dir.sh" "$build" "$work/run" >/dev/null
# With the JACK server up, the program is pointed at its "system" device.
if jack_lsp >/dev/null 2>&1; then
  cat >"$work/run/DeviceConfig.xml" <<'XML'
<?xml version="1.0" encoding="ISO-8859-1"?>
<device_configuration><driver_type>12</driver_type><device_sample_rate>48000</device_sample_rate><input_device_name>system</input_device_name><output_device_name>system</output_device_name><latency>10</latency></device_configuration>
XML
fi
if [ -n "$skin" ]; then
  [ -d "$work/run/Skins/$skin" ] || { echo "screenshot.sh: no skin $skin in the run directory" >&2; exit 1; }
  cat >"$work/run/SysConfig.xml" <<XML
<?xml version="1.0" encoding="ISO-8859-1"?>
<system_configuration><skin>$skin</skin></system_configuration>
XML
fi
(cd "$work/run" && exec ./kestrine >"$work/kestrine.log" 2>&1) &
pids+=($!)
for _ in $(seq 1 100); do xdotool search --name '^Kestrine' >/dev/null 2>&1 && break; sleep 0.1; done
sleep "$wait_s"
import -window root "$out"
echo "$out"
