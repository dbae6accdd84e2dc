#!/usr/bin/env bash
# Builds the XML readers' fuzz target with clang (libFuzzer + AddressSanitizer + UBSan)
# and replays its seed corpus once: no fuzzing, only the known inputs.
# Usage: fuzz/replay-xml-readers.sh [BUILD_DIR]   (default: build-fuzz-xml)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-"$root/build-fuzz-xml"}
mkdir -p "$build/project"
cat > "$build/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(KestrineXmlFuzz CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(src "$root/src")
include("$root/fuzz/xml_reader_fuzz.cmake")
CMAKE
cmake -S "$build/project" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target replay_xml_readers -j "${JOBS:-2}"
