#!/usr/bin/env bash
# Prints the whole update road for a 64 MiB package against its floor, in an
# end-to-end world: the reference service offers version 1.0.2 of a product at 1.0.1;
# the road is zelpatcher.exe /manual as a standard user from its start until the
# package installer runs (bench/road_bench.cpp); the floor is the same download by curl
# from the same service plus md5sum of the file. Argument: rounds (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/world-build.sh
zel_build_for_world road_bench zelpatcher zelupdateget zel_world_peers
rounds=${1:-3}

source tests/e2e/world/world.sh
trap world_down EXIT
world_up roadbench
svc=$ZEL_WORLD_DIR/service
package=$svc/packages/zel-1.0.2.exe
cp "$win_build/bin/zelproduct-1.0.2.exe" "$package"
head -c $((64 << 20)) /dev/urandom >>"$package"
"$ZEL_SERVICE_BIN" publish --catalog "$svc/catalog.json" --version 1.0.2 --package "$package" \
  --url "http://update.zelvora.cn/packages/zel-1.0.2.exe" --latest >/dev/null

floor=()
for _ in $(seq "$rounds"); do
  start=$(date +%s%N)
  world_exec curl -s -o "$ZEL_WORLD_DIR/floor.bin" "http://update.zelvora.cn/packages/zel-1.0.2.exe"
  md5sum "$ZEL_WORLD_DIR/floor.bin" >/dev/null
  floor+=($((($(date +%s%N) - start) / 1000000)))
done
floor_ms=$(printf '%s\n' "${floor[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")
medians=$(world_exec wine "$win_build/bin/road_bench.exe" "$rounds" | tr -d '\r')
read -r road_ms copy_ms <<<"$medians"
echo "the update road for a $(($(stat -c %s "$package") >> 20)) MiB package, medians of $rounds rounds:"
echo "  offer to installer started          $road_ms ms"
echo "    of which: to the upgrading copy   $copy_ms ms (download, verification, cache)"
echo "  floor: curl + md5sum                $floor_ms ms"
awk -v r="$road_ms" -v f="$floor_ms" 'BEGIN { printf "ratio %.2f (target at most 1.3)\n", r / f }'
# The road sleeps at least 1.5 s wherever it runs: 500 ms after starting the companion
# and one second before the upgrading copy's first look for other markers.
awk -v r="$road_ms" -v f="$floor_ms" 'BEGIN { printf "ratio without the 1500 ms the road must sleep %.2f\n", (r - 1500) / f }'
