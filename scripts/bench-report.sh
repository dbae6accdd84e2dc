#!/usr/bin/env bash
# Runs every benchmark and rebuilds the figures of docs/PERFORMANCE.md from the results
# (`make bench`). Writes BUILD_DIR/bench/results.json (Google Benchmark's JSON) and,
# where valgrind is installed, BUILD_DIR/bench/instructions.json (callgrind instruction
# counts of the stream callback, its per-frame reference and the floor kernel, which the
# machine's load cannot disturb). The soak figures come from the last scripts/soak.sh runs
# (BUILD_DIR/bench/soak.txt and soak-realtime.txt), if any.
# Usage: scripts/bench-report.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."

cmake --build "$build" --target kestrine_bench callback_profile >/dev/null
results="$build/bench/results.json"
"$build/bench/kestrine_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json

instructions="$build/bench/instructions.json"
rm -f "$instructions"
if command -v valgrind >/dev/null; then
  calls=500
  entries=()
  for frames in 64 256 1024; do
    pair=()
    for who in engine reference floor; do
      fn=Audio_ProcessStream
      [ "$who" = reference ] && fn=Reference_ProcessStream
      [ "$who" = floor ] && fn=FloorKernel::Run
      out="$build/bench/callgrind.$who.$frames.out"
      valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$fn*" \
        "$build/bench/callback_profile" "$who" "$frames" "$calls" >/dev/null 2>&1
      total=$(callgrind_annotate "$out" | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
      pair+=("\"$who\": $((total / calls))")
    done
    entries+=("\"$frames\": {$(IFS=,; echo "${pair[*]}")}")
  done
  echo "{$(IFS=,; echo "${entries[*]}")}" >"$instructions"
fi

python3 scripts/bench-report.py "$results" "$instructions" "$build/bench" docs/PERFORMANCE.md
echo "docs/PERFORMANCE.md rebuilt from $results"
