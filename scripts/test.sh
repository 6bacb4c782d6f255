#!/usr/bin/env bash
# Runs every test from a fresh machine: installs what is missing, builds both trees,
# runs the host tests (ASan/UBSan), a short fuzz run, the service's tests and the
# Windows tests under Wine (code page 936, virtual display, persistent wineserver).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== host build (sanitizers)"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

echo "== windows build"
cmake --preset win64 >/dev/null
cmake --build --preset win64

echo "== windows tests under Wine"
source scripts/wine-env.sh
trap zel_stop_wine EXIT
zel_start_display
zel_start_wine
ctest --preset win64 -j2
