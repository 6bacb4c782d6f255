#!/usr/bin/env bash
# Prints the figures of a checking run against its floor (bench/check_bench.cpp) in an
# end-to-end world. Argument: rounds (default 10). Build folders: the presets' own
# unless ZEL_HOST_BUILD / ZEL_WIN_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/world-build.sh
zel_build_for_world check_bench
exec bash tests/e2e/world/run-in-world.sh "$win_build/bin/check_bench.exe" "${1:-10}"
