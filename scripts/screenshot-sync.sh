#!/usr/bin/env bash
# Screenshots of Kestrine following the JACK transport: a JACK dummy server of its own (so
# no other client's transport is touched), jack_transport as timebase master rolling at
# 133 BPM, the program started with "Follow Tempo From" set to JACK Transport. Takes the window (the panel shows the
# followed tempo under the Tempo field) and the Preferences dialog with the sync rows.
# Usage: screenshot-sync.sh BUILD_DIR PANEL.png PREFERENCES.png
set -euo pipefail
build=$(cd "$1" && pwd); panel=$2; prefs=$3
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool import jackd jack_transport
start_display || { echo "screenshot-sync.sh: Xvfb did not start" >&2; exit 1; }
export JACK_DEFAULT_SERVER="kestrine-sync-shot-$$"
jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || { echo "screenshot-sync.sh: jackd did not start" >&2; exit 1; }

# The rest of the rig: a DAW leading at 133 BPM, rolling.
mkfifo "$work/transport"
jack_transport <"$work/transport" >"$work/transport.log" 2>&1 &
pids+=($!)
exec 3>"$work/transport"
printf 'master\ntempo 133\nplay\n' >&3

bash "$root/scripts/stage-run-dir.sh" "$build" "$work/run" >/dev/null
use_jack_device "$work/run"
cat >"$work/run/Preferences.xml" <<'XML'
<?xml version="1.0" encoding="ISO-8859-1"?>
<preferences><sync_source>2</sync_source></preferences>
XML
(cd "$work/run" && exec ./kestrine >"$work/kestrine.log" 2>&1) &
pids+=($!)
window=$(find_window Kestrine 300)
[ -n "$window" ] || { echo "screenshot-sync.sh: no window" >&2; cat "$work/kestrine.log" >&2; exit 1; }
sleep 4
jack_lsp >"$work/ports.txt" 2>/dev/null || true
[ -n "${SHOW_PORTS:-}" ] && cat "$work/ports.txt"
import -window root "$panel"

xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key alt+o
sleep 0.5
xdotool key p
dialog=$(find_window Preferences 100)
[ -n "$dialog" ] || { echo "screenshot-sync.sh: no Preferences dialog" >&2; exit 1; }
sleep 1
import -window "$dialog" "$prefs"
xdotool key Escape
exec 3>&-
echo "$panel $prefs"
