#!/usr/bin/env bash
# Prints the range route's figures: the time of HttpRangeDownload fetching a package
# of 256 MiB from nginx on loopback (bench/range_bench.cpp, under Wine) against curl
# asking for the same 1 MiB ranges, once as one curl process per range and once as a
# single curl that keeps its connection; and the peak memory (VmHWM) of the
# downloading process. Argument: rounds (default 3; the median counts).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
size=$((256 * 1048576))
piece=1048576
# The 32-bit build, the program that ships, unless ZEL_WIN_PRESET names another.
win_preset=${ZEL_WIN_PRESET:-win32}
cmake --preset "$win_preset" >/dev/null
cmake --build --preset "$win_preset" --target range_bench >/dev/null

state=$PWD/build/bench-range
source scripts/wine-env.sh
cleanup() {
  sh tests/protocol/nginx-fixture.sh stop "$state"
  zel_stop_wine
}
trap cleanup EXIT
sh tests/protocol/nginx-fixture.sh start "$state"
head -c "$size" /dev/urandom >"$state/www/package.bin"
url=http://127.0.0.1:$(cat "$state/port")/package.bin
zel_start_display
zel_start_wine

# The ranges the route asks for: each piece starts at the last byte of the one before.
ranges=()
first=0 last=$piece
while :; do
  ranges+=("$first-$last")
  received=$((last < size - 1 ? last : size - 1))
  remaining=$((size - received))
  [ "$remaining" -le 1 ] && break
  first=$received
  last=$((remaining >= piece ? received + piece : size))
done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

loop_ms=() single_ms=() route_ms=() peak_kb=0
single_args=()
for range in "${ranges[@]}"; do single_args+=(-r "$range" -o "$state/curl.out" "$url" --next); done
unset 'single_args[${#single_args[@]}-1]'
for _ in $(seq "$rounds"); do
  start=$(now_ms)
  for range in "${ranges[@]}"; do curl -sf -r "$range" -o "$state/curl.out" "$url"; done
  loop_ms+=($(($(now_ms) - start)))

  start=$(now_ms)
  curl -sf "${single_args[@]}"
  single_ms+=($(($(now_ms) - start)))

  rm -f "$state/target.bin"
  # The program prints its figures, then waits for a line: its peak memory is read
  # while it still runs.
  coproc ROUTE { wine build/$win_preset/bin/range_bench.exe "$url" "$size" "Z:$state/target.bin"; }
  read -r result ms _ <&"${ROUTE[0]}"
  pid=$(pgrep -f 'range_bench\.exe' | head -1)
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
  echo >&"${ROUTE[1]}"
  wait "$ROUTE_PID" || true
  [ "$result" = ok ] && cmp -s "$state/target.bin" "$state/www/package.bin" || { echo "range download failed" >&2; exit 1; }
  route_ms+=("$ms")
  peak_kb=$((hwm > peak_kb ? hwm : peak_kb))
done

loop=$(median "${loop_ms[@]}") single=$(median "${single_ms[@]}") route=$(median "${route_ms[@]}")
echo "== range download of 256 MiB from nginx on loopback, ${#ranges[@]} ranges, median of $rounds"
echo "HttpRangeDownload:          $route ms ($((size / 1048576 * 1000 / route)) MiB/s)   rounds: ${route_ms[*]}"
echo "curl, a process per range:  $loop ms   rounds: ${loop_ms[*]}"
echo "curl, one process:          $single ms   rounds: ${single_ms[*]}"
awk -v l="$loop" -v s="$single" -v r="$route" \
  'BEGIN { printf "ratio (curl time / route time): %.2f against a process per range, %.2f against one process\n", l / r, s / r }'
echo "peak memory of the downloading process (VmHWM): $((peak_kb / 1024)) MiB"
