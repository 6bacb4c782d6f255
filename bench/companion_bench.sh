#!/usr/bin/env bash
# Figures of the package download, printed:
#  - zelupdateget.exe fetching a 256 MiB file from nginx on loopback against one curl
#    GET of the same file (median of the rounds; ratio = curl time / companion time,
#    target at least 0.9), to the full file and to its exit after the MD5 check;
#  - FileMd5 of a 1 GiB file against md5sum (best of the rounds, both from the page
#    cache; target at least 0.9);
#  - the companion's peak memory (VmHWM of its process, read from outside) while it
#    downloads and checks 64 MiB and 1 GiB (target at most 32 MiB, and flat).
# Argument: rounds (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
# The 32-bit build, the program that ships, unless ZEL_WIN_PRESET names another.
win_preset=${ZEL_WIN_PRESET:-win32}
cmake --preset "$win_preset" >/dev/null
cmake --build --preset "$win_preset" --target zelupdateget file_md5_bench >/dev/null

work=$PWD/build/bench-companion
nginx_dir=$work/nginx
out=$work/out
source scripts/wine-env.sh
finish() {
  sh tests/protocol/nginx-fixture.sh stop "$nginx_dir" || true
  zel_stop_wine
  rm -rf "$work"
}
trap finish EXIT
rm -rf "$work"
mkdir -p "$out"
zel_start_wine
sh tests/protocol/nginx-fixture.sh start "$nginx_dir"
base=http://127.0.0.1:$(cat "$nginx_dir/port")
winpath() { echo "Z:$1" | tr / '\\'; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# make_file NAME MIB: a file of random bytes in nginx's folder.
make_file() { head -c $(( $2 * 1048576 )) /dev/urandom >"$nginx_dir/www/$1"; }

# fetch NAME [watch]: one companion run for nginx's file NAME into an empty folder;
# sets full_ms (from its start until its last write to the file, by the file's time),
# exit_ms (until it ended, the MD5 check done) and, with watch, peak_kb (its process's
# VmHWM as last read before it ended; read with shell built-ins only, so the watch
# itself takes little from the run).
fetch() {
  local file=$nginx_dir/www/$1 size md5 pid start key value unit sleeper
  size=$(stat -c %s "$file")
  md5=$(md5sum "$file" | cut -d' ' -f1)
  rm -f "$out/zelupdatepkg.dwn"
  printf '1.0\r\n%s\r\n%s\r\n%s\r\n' "$base/$1" "$size" "$md5" >"$work/task.txt"
  start=$(date +%s%N)
  wine build/$win_preset/bin/zelupdateget.exe "$(winpath "$work/task.txt")" "$(winpath "$out")" &
  pid=$!
  peak_kb=0
  if [ "${2:-}" = watch ]; then
    exec {sleeper}<> <(:)
    while [ -e "/proc/$pid/status" ]; do
      while read -r key value unit; do
        [ "$key" = VmHWM: ] && peak_kb=$value
        [ "$key" = State: ] && [ "$value" = Z ] && break 2  # ended, not yet waited for
      done <"/proc/$pid/status" 2>/dev/null || true
      read -r -t 0.01 -u "$sleeper" || true
    done
    exec {sleeper}>&-
  fi
  wait "$pid" || { echo "zelupdateget failed with exit code $?" >&2; exit 1; }
  exit_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  full_ms=$(( ($(stat -c %.9Y "$out/zelupdatepkg.dwn" | tr -d .) - start) / 1000000 ))
}

echo "== download of 256 MiB from nginx on loopback (median of $rounds)"
make_file d256.bin 256
curl_runs=() full_runs=() exit_runs=() start_runs=()
for _ in $(seq "$rounds"); do
  start=$(now_ms)
  wine build/$win_preset/bin/zelupdateget.exe --start-only-and-fail || true
  start_runs+=($(( $(now_ms) - start )))
  start=$(now_ms)
  curl -sf -o "$work/curl.out" "$base/d256.bin"
  curl_runs+=($(( $(now_ms) - start )))
  rm -f "$work/curl.out"
  fetch d256.bin
  full_runs+=("$full_ms")
  exit_runs+=("$exit_ms")
done
curl_ms=$(printf '%s\n' "${curl_runs[@]}" | median)
full_ms=$(printf '%s\n' "${full_runs[@]}" | median)
exit_ms=$(printf '%s\n' "${exit_runs[@]}" | median)
start_ms=$(printf '%s\n' "${start_runs[@]}" | median)
echo "curl                         $curl_ms ms"
echo "zelupdateget, file complete  $full_ms ms   ratio $(ratio "$curl_ms" "$full_ms") (target >= 0.9)"
echo "zelupdateget, MD5 checked    $exit_ms ms   ratio $(ratio "$curl_ms" "$exit_ms")"
echo "(zelupdateget's start and end alone, a run refusing its command line: $start_ms ms)"
rm -f "$nginx_dir/www/d256.bin"

echo "== MD5 of 1 GiB (best of $rounds, from the page cache)"
make_file h1024.bin 1024
md5sum "$nginx_dir/www/h1024.bin" >/dev/null
best=""
for _ in $(seq "$rounds"); do
  start=$(now_ms)
  md5sum "$nginx_dir/www/h1024.bin" >/dev/null
  t=$(( $(now_ms) - start ))
  [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
done
filemd5_ms=$(wine build/$win_preset/bin/file_md5_bench.exe "$(winpath "$nginx_dir/www/h1024.bin")" "$rounds" | awk '{ print $2 }')
echo "md5sum   $best ms"
echo "FileMd5  $filemd5_ms ms   ratio $(ratio "$best" "$filemd5_ms") (target >= 0.9)"

echo "== companion peak memory, download and MD5 check (VmHWM)"
make_file m64.bin 64
for name in m64.bin h1024.bin; do
  fetch "$name" watch
  echo "$(( $(stat -c %s "$nginx_dir/www/$name") / 1048576 )) MiB: $(( peak_kb / 1024 )) MiB peak in $exit_ms ms (target <= 32 MiB)"
  rm -f "$out/zelupdatepkg.dwn"
done
