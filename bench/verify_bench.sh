#!/usr/bin/env bash
# Prints what one verification of a signed answer costs (bench/verify_bench.cpp), in an
# end-to-end world whose service signs with the world's key. Argument: rounds of the
# later verifications (default 101).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/world-build.sh
zel_build_for_world verify_bench
export ZEL_WORLD_SIGNING_KEYS=$win_build/test-keys/world.pem
exec bash tests/e2e/world/run-in-world.sh "$win_build/bin/verify_bench.exe" "${1:-101}"
