#!/usr/bin/env bash
# The soak run (not part of the test suite): a private JACK dummy server at 48 kHz with
# 64-frame periods, and the engine on a live stream against it for MINUTES minutes
# (default 10) with eight stereo tracks playing, one overdubbing with feedback, every
# effect on, live input, the metronome and MIDI clock out. Reports the xruns JACK saw,
# the callback times and the process's memory at the start and the end, and keeps the
# report in BUILD_DIR/bench/soak.txt (soak-realtime.txt with SOAK_REALTIME=1) for
# docs/PERFORMANCE.md (make bench).
# Usage: scripts/soak.sh [MINUTES] [BUILD_DIR]
set -euo pipefail
minutes=${1:-10}
build=${2:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

cmake --build "$build" --target kestrine_soak >/dev/null

# A server of our own name, so that a server the tests use is never touched.
export JACK_DEFAULT_SERVER="kestrine-soak-$$"
export JACK_NO_START_SERVER=1
log=$(mktemp -t kestrine-soak-jackd.XXXXXX)
# SOAK_REALTIME=1 runs the server (and so the engine's process thread) with real-time
# priority, which takes the machine's other load out of the figures where it is allowed.
realtime=--no-realtime
[ "${SOAK_REALTIME:-0}" = 1 ] && realtime=--realtime
jackd "$realtime" -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 64 >"$log" 2>&1 &
jack_pid=$!
stop_jack() {
  kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
  rm -f "$log"
  true
}
trap stop_jack EXIT
cp_log() { [ -n "${SOAK_JACK_LOG:-}" ] && cp "$log" "$SOAK_JACK_LOG"; true; }
for _ in $(seq 1 50); do
  jack_lsp >/dev/null 2>&1 && break
  sleep 0.1
done
jack_lsp >/dev/null 2>&1 || { echo "soak: the JACK dummy server did not start" >&2; cat "$log" >&2; exit 1; }

# PortAudio probes ALSA first and complains on a machine without sound cards.
report=$("$build/bench/kestrine_soak" "$minutes" 2> >(grep -v "^ALSA lib" >&2))
cp_log
{
  echo "$report"
  # jackd logs two kinds: a cycle the engine's client had not finished in time, and a
  # cycle the dummy driver's timer itself started late (the server, not the client, was
  # not scheduled in time: without real-time priority on a busy machine).
  echo "jack_xruns_client_late $(grep -c 'was not finished' "$log" || true)"
  echo "jack_xruns_driver_late $(grep -c 'JackTimedDriver::Process XRun' "$log" || true)"
  echo "jack_server $realtime"
  echo "machine $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$build/bench/soak$([ "$realtime" = --realtime ] && echo -realtime).txt"
