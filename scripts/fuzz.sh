#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each one for a short
# time, starting from the seeds in tests/fuzz/seeds/<target without "fuzz_">.
#   scripts/fuzz.sh [seconds per target, default 20]
#   ZEL_FUZZ_BUILD  build folder (default: build/fuzz)
# Exits non-zero when a target finds a crash; the input is kept in <build>/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${ZEL_FUZZ_BUILD:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target fuzzers

mkdir -p "$build/artifacts"
status=0
for target in "$build"/bin/fuzz_*; do
  name=$(basename "$target")
  corpus=$build/corpus/$name
  seeds=tests/fuzz/seeds/${name#fuzz_}
  [ -d "$seeds" ] || seeds=service/fuzz/seeds/${name#fuzz_service_}
  mkdir -p "$corpus"
  echo "== $name: ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1 "$corpus" \
      $( [ -d "$seeds" ] && echo "$seeds" ) 2>"$build/$name.log"; then
    tail -n 40 "$build/$name.log"
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|INFO: seed corpus)' "$build/$name.log" || true
  fi
done
exit $status
