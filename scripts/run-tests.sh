#!/usr/bin/env bash
# Runs the CTest suite of a build folder with a JACK dummy server alive for the live
# audio tests. Usage: run-tests.sh BUILD_DIR [extra ctest arguments]
set -euo pipefail
build=$1; shift
export JACK_NO_START_SERVER=1

jack_pid=""
stop_jack() { [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null; true; }
trap stop_jack EXIT

if command -v jackd >/dev/null && ! jack_lsp >/dev/null 2>&1; then
  jackd --no-realtime -d dummy -r 48000 -p 256 >"$build/jackd.log" 2>&1 &
  jack_pid=$!
  for _ in $(seq 1 50); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

cd "$build"
ctest --output-on-failure --timeout 300 "$@"
