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
# The skins drawn by the build (tools/skin_maker), each in its own folder under Skins.
if [ -d "$build/Skins" ]; then
  mkdir -p "$run/Skins"
  cp -r "$build/Skins/." "$run/Skins/"
fi
