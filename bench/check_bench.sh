#!/usr/bin/env bash
# Prints the figures of a checking run against its floor (bench/check_bench.cpp) in an
# end-to-end world. Argument: rounds (default 10). Build folders: the presets' own
# unless ZEL_HOST_BUILD / ZEL_WIN_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
host_build=$root/${ZEL_HOST_BUILD:-build/host}
win_build=$root/${ZEL_WIN_BUILD:-build/win64}
[ -f "$host_build/build.ninja" ] || cmake --preset host -B "$host_build" >/dev/null
cmake --build "$host_build" --target zelupdate-service
[ -f "$win_build/build.ninja" ] || cmake --preset win64 -B "$win_build" >/dev/null
cmake --build "$win_build" --target check_bench
export ZEL_SERVICE_BIN=$host_build/bin/zelupdate-service
exec bash tests/e2e/world/run-in-world.sh "$win_build/bin/check_bench.exe" "${1:-10}"
