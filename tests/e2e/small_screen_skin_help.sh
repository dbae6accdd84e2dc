#!/usr/bin/env bash
# The real program on a 1280x720 screen (a laptop, a projector) with the Kestrel skin:
# the whole window fits below a window manager's title bar, so the effects' right-most
# control, the Delay Mix slider, is on screen; F1 opens the key list. A screenshot is
# kept. Usage: small_screen_skin_help.sh BUILD_DIR OUTPUT_DIR. Exit 77 (skipped)
# without the display or audio tools.
set -euo pipefail
build=$(cd "$1" && pwd); out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool jackd jack_lsp

start_display 1280x720 || fail "Xvfb did not start"
start_jack || fail "the JACK dummy server did not start"
run="$work/run"
bash "$root/scripts/stage-run-dir.sh" "$build" "$run" >/dev/null
[ -f "$run/Skins/Kestrel/Kestrel.xml" ] || fail "the build made no Kestrel skin"
use_jack_device "$run"
cat >"$run/SysConfig.xml" <<XML
<?xml version="1.0" encoding="ISO-8859-1"?>
<system_configuration><skin>Kestrel</skin></system_configuration>
XML

(cd "$run" && exec ./kestrine >"$work/kestrine.log" 2>&1) &
kestrine=$!
pids+=($kestrine)
window=$(find_window Kestrine 300)
[ -n "$window" ] || fail "no Kestrine window appeared"
sleep 2

# Geometry: inside the screen, leaving a title bar's height (about 1280x680 of client area).
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window at ${X},${Y} size ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -le 1280 ] && [ "$HEIGHT" -le 680 ] || fail "the window is ${WIDTH}x${HEIGHT}, more than 1280x680"
[ "$X" -ge 0 ] && [ $((X + WIDTH)) -le 1280 ] && [ "$Y" -ge 0 ] && [ $((Y + HEIGHT)) -le 720 ] ||
  fail "the window reaches past the screen's edge"
grep -q "Kestrel" "$run/SysConfig.xml" || fail "the skin was not kept"
import -window root "$out/e2e_small_screen.png" 2>/dev/null || true

# F1: the key list.
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key F1
help=$(find_window "Kestrine Help" 100)
[ -n "$help" ] || fail "F1 opened no \"Kestrine Help\" window"
xdotool key Escape
sleep 0.5
kill -0 "$kestrine" 2>/dev/null || fail "kestrine is no longer running"
echo "PASSED: fits 1280x720 with the Kestrel skin, F1 opens the key list; screenshot in $out/e2e_small_screen.png"
