#!/usr/bin/env bash
# Prints the benchmark figures (speed targets are checked here, not by timed tests):
# the start-up of a "not due" run against its floor, a checking run answered "latest"
# in an end-to-end world, one verification of a signed answer, the package downloads
# (companion, FileMd5, HTTP ranges), the whole update road, and the update service
# under load. Argument: rounds of the first two (default 21 and 10).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The 32-bit build, the program that ships, unless ZEL_WIN_PRESET names another.
win_preset=${ZEL_WIN_PRESET:-win32}
cmake --preset "$win_preset" >/dev/null
cmake --build --preset "$win_preset" --target startup_bench
(
  source scripts/wine-env.sh
  trap zel_stop_wine EXIT
  zel_start_display
  zel_start_wine
  echo "== start-up"
  wine build/$win_preset/bin/startup_bench.exe "${1:-21}"
)
echo "== checking run"
bash bench/check_bench.sh "${1:-10}"
echo "== a signed answer's verification"
bash bench/verify_bench.sh
echo "== package download"
bash bench/companion_bench.sh 3
bash bench/range_bench.sh
echo "== the update road"
bash bench/road_bench.sh 3
echo "== update service under load"
bash bench/service_load.sh
