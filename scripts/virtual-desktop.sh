# Sourced by the scripts that run the real program as a user would: a scratch folder
# ($work) removed on exit with every process started into $pids, a virtual X display
# (Xvfb) on a free number, the JACK dummy server when none runs, and a
# DeviceConfig.xml pointing a run directory at JACK's "system" device.

# require_tools TOOL...: ends the script as skipped (exit 77) when one is not installed.
require_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
  done
}

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# fail MESSAGE: ends the script as failed, with the end of the program's output.
fail() {
  echo "FAILED: $*"
  if [ -f "$work/kestrine.log" ]; then
    echo "--- program output"
    grep -v '^ALSA' "$work/kestrine.log" | tail -20 || true
  fi
  if [ -n "${DISPLAY:-}" ] && ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    echo "--- the display $DISPLAY no longer answers; Xvfb's output"
    tail -20 "$work/xvfb.log" 2>/dev/null || true
  fi
  exit 1
}

# start_display [WIDTHxHEIGHT]: exports DISPLAY; false when Xvfb does not answer. The
# screen is 1366x768 unless given (1280x720: a laptop or a projector). Xvfb picks the
# display number itself by binding its sockets: a lock file check alone misses a server
# in another container that shares this network namespace, whose abstract socket then
# answers for the number while it lives. -noreset: the probe leaving must not reset it.
start_display() {
  local size=${1:-1366x768} number=""
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    number=$(cat "$work/display" 2>/dev/null) && [ -n "$number" ] && break
    sleep 0.1
  done
  [ -n "$number" ] || return 1
  export DISPLAY=":$number" JACK_NO_START_SERVER=1
  xdotool getdisplaygeometry >/dev/null 2>&1
}

# start_jack: the JACK dummy server unless one runs; false when none answers.
start_jack() {
  if ! jack_lsp >/dev/null 2>&1; then
    jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 1 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  jack_lsp >/dev/null 2>&1
}

# use_jack_device RUN_DIR
use_jack_device() {
  cat >"$1/DeviceConfig.xml" <<'XML'
<?xml version="1.0" encoding="ISO-8859-1"?>
<device_configuration><driver_type>12</driver_type><device_sample_rate>48000</device_sample_rate><input_device_name>system</input_device_name><output_device_name>system</output_device_name><latency>10</latency></device_configuration>
XML
}

# find_window TITLE TENTHS: the id of the first visible window whose title starts with TITLE
# (a toolkit's unmapped helper windows may carry the title too),
# waiting up to TENTHS tenths of a second; empty when none appears.
find_window() {
  local id=""
  for _ in $(seq 1 "$2"); do
    id=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

# start_first_run PROGRAM: PROGRAM copied into a fresh run directory ($run) with the
# staged files but no DeviceConfig.xml, and started there for the first time, which opens
# the running JACK server by itself; its process in $kestrine (and $pids), its output in
# $work/kestrine.log, its window in $window (empty when none appeared: start-up on a
# loaded machine is given 30 s).
start_first_run() {
  local staged
  staged="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/run"
  run="$work/run"
  mkdir -p "$run"
  cp "$1" "$run/kestrine"
  [ -d "$staged" ] && cp -r "$staged/." "$run/"
  rm -f "$run/DeviceConfig.xml"
  (cd "$run" && exec ./kestrine >"$work/kestrine.log" 2>&1) &
  kestrine=$!
  pids+=($kestrine)
  window=$(find_window Kestrine 300)
}
