#!/usr/bin/env bash
# Stages the directory Kestrine runs in: the program plus its own help text, click
# sounds and skins. Usage: stage-run-dir.sh BUILD_DIR RUN_DIR
set -euo pipefail
build=$1 run=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$run"
cp "$build/src/kestrine" "$run/"
if [ -d "$root/run" ]; then
  cp -r "$root/run/." "$run/"
fi
# The click sounds are made here when the run directory has none: short square-wave
# ticks, the accent higher than the beat.
if command -v sox >/dev/null; then
  [ -f "$run/accent.wav" ] || sox -q -n -r 48000 -c 2 -b 16 "$run/accent.wav" synth 0.03 square 1760 vol 0.4 fade 0 0.03 0.02
  [ -f "$run/beat.wav" ] || sox -q -n -r 48000 -c 2 -b 16 "$run/beat.wav" synth 0.03 square 880 vol 0.4 fade 0 0.03 0.02
fi
# The skins drawn by the build (tools/skin_maker), each in its own folder under Skins.
if [ -d "$build/Skins" ]; then
  mkdir -p "$run/Skins"
  cp -r "$build/Skins/." "$run/Skins/"
fi
