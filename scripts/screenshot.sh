#!/usr/bin/env bash
# Takes a screenshot of the Kestrine window as a user sees it: a virtual X display
# (Xvfb), the JACK dummy audio server when jackd is installed, the program started in a
# fresh directory (first start), a PNG of the whole screen.
# Usage: screenshot.sh BUILD_DIR OUT.png [SECONDS_TO_WAIT] [SKIN] [WIDTHxHEIGHT]
# With SKIN (a folder of the run directory's Skins), the program starts with that skin;
# the screen is 1366x768 unless a size is given.
set -euo pipefail
build=$(cd "$1" && pwd); out=$2; wait_s=${3:-3}; skin=${4:-}; size=${5:-1366x768}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 77; }
done

source "$root/scripts/virtual-desktop.sh"
start_display "$size" || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
command -v jackd >/dev/null && start_jack || true

bash "$root/scripts/stage-run-dir.sh" "$build" "$work/run" >/dev/null
# With the JACK server up, the program is pointed at its "system" device.
jack_lsp >/dev/null 2>&1 && use_jack_device "$work/run"
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
