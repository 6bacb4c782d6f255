#!/usr/bin/env bash
# Runs every test from a fresh machine: installs what is missing, builds the trees,
# runs the host tests (ASan/UBSan) with the service's tests, a short fuzz run, and the
# Windows tests under Wine (code page 936, virtual display, persistent wineserver),
# the end-to-end scenarios in their private network worlds included.
#
#   scripts/test.sh [--repeat N]
#
# --repeat N runs the Windows suite N times in a row (stopping at the first failure),
# to show that it is not flaky.
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=1
if [ "${1:-}" = --repeat ]; then
  [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [--repeat N]" >&2; exit 2; }
  repeat=$2
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--repeat N]" >&2
  exit 2
fi
bash scripts/setup.sh

echo "== host build (sanitizers)"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

echo "== fuzz smoke run"
bash scripts/fuzz.sh "${ZEL_FUZZ_SECONDS:-10}"

echo "== windows builds: 32-bit (the program that ships) and 64-bit"
for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done

# The 32-bit build runs the whole suite, its end-to-end worlds of Windows 7 and XP
# included; the 64-bit build its in-process tests and the start-up scenarios.
echo "== windows tests under Wine"
source scripts/wine-env.sh
trap zel_stop_wine EXIT
zel_start_display
zel_start_wine
for ((run = 1; run <= repeat; run++)); do
  ((repeat == 1)) || echo "== windows tests, run $run of $repeat"
  ctest --preset win32 -j2
  ctest --preset win64 -j2
done

echo "== summary"
bash scripts/linecount.sh
