#!/usr/bin/env bash
# The real window at rest: kestrine started for the first time on the JACK dummy server
# (its own JACK MIDI input enabled, as every input is before any trigger is learned, with
# nothing connected to it), nothing playing, nothing touched. Over 5 s its window's
# thread must wake fewer than 50 times a second: the voluntary context switches of the
# main thread, from /proc. The thread's CPU time over the same 5 s is printed beside it.
# Usage: idle_wakeups.sh KESTRINE_BINARY. Exit 77 (skipped) without the display or
# audio tools.
set -euo pipefail
program=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/virtual-desktop.sh"
require_tools Xvfb xdotool jackd jack_lsp

start_display || fail "Xvfb did not start"
start_jack || fail "the JACK dummy server did not start"

start_first_run "$program"
[ -n "$window" ] || fail "no Kestrine window appeared"
sleep 3  # start-up settles: the first paints, the device, the JACK ports

switches() { sed -n 's/^voluntary_ctxt_switches:[[:space:]]*//p' "/proc/$kestrine/status"; }
# The main thread's time on a CPU, in nanoseconds (finer than the stat file's ticks).
cpu_ns() { awk '{ print $1 }' "/proc/$kestrine/task/$kestrine/schedstat"; }
s0=$(switches); t0=$(cpu_ns); n0=$(date +%s%N)
sleep 5
s1=$(switches); t1=$(cpu_ns); n1=$(date +%s%N)
kill -0 "$kestrine" 2>/dev/null || fail "kestrine is no longer running"

read -r rate cpu < <(awk -v s=$((s1 - s0)) -v t=$((t1 - t0)) -v ns=$((n1 - n0)) \
  'BEGIN { sec = ns / 1e9; printf "%.1f %.2f\n", s / sec, 100 * t / 1e9 / sec }')
echo "window's thread at rest: $rate wake-ups a second, $cpu % of a core"
awk -v r="$rate" 'BEGIN { exit !(r < 50) }' || fail "the window's thread woke $rate times a second at rest (50 allowed)"
echo "PASSED"
