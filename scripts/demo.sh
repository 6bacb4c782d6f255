#!/usr/bin/env bash
# The demo: a real, signed update of a demo product, from 1.0.1 to 1.0.2, as a standard
# user.
#
# Builds the program with the demo's update key, its companion downloader, the demo
# product and the update service, which signs its answers with that key; sets up an end-to-end world (a private network in which the program's
# built-in update host leads to the service on this machine); installs product 1.0.1 in
# "C:\Program Files\Zel Guard" and starts its three processes; publishes 1.0.2, whose
# package is the demo product's installer; then runs zelpatcher.exe /ui /manual not
# elevated. The window shows the check, the download, the verification and "升级中...",
# and closes when the upgrading copy starts installing; the product's processes leave,
# the installer runs, and a second check is answered "版本已更新到最新". Keeps
# screenshots in artifacts/ (demo-download.png during the download, demo-window.png of
# the second check),
# prints the window's status lines, the versions before and after, what the service
# recorded, config.dat and the diagnostics log, and exits 0 only when the product ends at
# 1.0.2 and every answer's signature was verified.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== building the update service, the program and the demo product"
source scripts/world-build.sh
zel_build_for_world zelpatcher_signed zelupdateget zel_world_peers
bin=$win_build/bin

unset DISPLAY  # a virtual display of the demo's own, with nothing else on it
source tests/e2e/world/world.sh
trap world_down EXIT
# The update is a signed one: the program carries the demo key's public half (the
# build tree's world key, made when the tree was configured), and the service signs
# its answers with the private half.
keys=$win_build/test-keys
export ZEL_WORLD_SIGNING_KEYS=$keys/world.pem
world_up demo

old=1.0.1
new=1.0.2
svc=$ZEL_WORLD_DIR/service
product="$WINEPREFIX/drive_c/Program Files/Zel Guard"
product_win='C:\Program Files\Zel Guard'
mkdir -p artifacts

echo "== publishing $new; its package is the demo product's installer"
package=$svc/packages/zel-$new.exe
cp "$bin/zelproduct-$new.exe" "$package"
# The installer carries 48 MiB of payload after its image, as a real one would.
head -c $((48 << 20)) /dev/urandom >>"$package"
"$ZEL_SERVICE_BIN" publish --catalog "$svc/catalog.json" --version "$new" --package "$package" \
  --url "http://update.zelvora.cn/packages/zel-$new.exe" --latest

echo "== installing the product, version $old, in $product_win, and starting it"
mkdir -p "$product"
cp "$bin/zelpatcher-signed.exe" "$product/zelpatcher.exe"
cp "$bin/zlib1.dll" "$bin/zelupdateget.exe" "$product/"
for name in sweepdoc zelcore docwatch; do cp "$bin/zelproduct-$old.exe" "$product/$name.exe"; done
for name in sweepdoc zelcore docwatch; do world_exec wine "$product_win\\$name.exe" >/dev/null 2>&1 & done
markers="$WINEPREFIX/drive_c/ProgramData/zelGuard"
for _ in $(seq 100); do [ "$(ls "$markers"/*.run 2>/dev/null | wc -l)" -ge 3 ] && break; sleep 0.2; done
echo "running: $(cd "$markers" && ls *.run | tr '\n' ' ')"

# The package comes over a line of about 80 Mbit/s, so the download can be watched.
world_exec tc qdisc add dev lo root tbf rate 80mbit burst 256kb latency 50ms 2>/dev/null ||
  echo "(no traffic shaping here: the download will be quick)"

# Runs zelpatcher.exe in a desktop window of its own (a title bar on a display without
# a window manager) as a standard user; the launcher adds each status text the window
# shows to $1 as a line, ending with "END <status>" or "CLOSED".
run_updater() {
  local status_file=$1 close_file=$ZEL_WORLD_DIR/close
  rm -f "$status_file" "$close_file"
  world_exec wine explorer /desktop=zeldemo,520x340 "$(zel_world_winpath "$bin/zelrunlimited.exe")" \
    --watch "$(zel_world_winpath "$status_file")" "$(zel_world_winpath "$close_file")" \
    "$product_win\\zelpatcher.exe" /ui /manual >/dev/null 2>&1 &
  local demo=$! shot_taken=
  for _ in $(seq 2400); do
    if [ -z "$shot_taken" ] && grep -q '^下载升级包进度:[1-9]' "$status_file" 2>/dev/null; then
      screenshot artifacts/demo-download.png && shot_taken=1
    fi
    grep -qE '^(END|CLOSED)' "$status_file" 2>/dev/null && break
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^END' "$status_file" 2>/dev/null; then
    sleep 1  # let the window paint its last status
    screenshot artifacts/demo-window.png
  fi
  touch "$close_file"
  for _ in $(seq 100); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
}
screenshot() {
  xwd -root -silent | /usr/bin/convert xwd:- -crop 520x340+0+0 +repage "$1" 2>/dev/null ||
    import -window root -crop 520x340+0+0 +repage "$1"
}

echo "== zelpatcher.exe /ui /manual, as a standard user"
rm -f artifacts/demo-download.png artifacts/demo-window.png
run_updater "$ZEL_WORLD_DIR/first.txt"
sed 's/^/  window: /' "$ZEL_WORLD_DIR/first.txt"

echo "== the upgrading copy installs once the product's processes have left"
for _ in $(seq 1200); do
  [ -f "$product/install.log" ] && ! ls "$markers"/*.run >/dev/null 2>&1 && break
  sleep 0.25
done
echo "installer ran with: $(tr -d '\r' <"$product/install.log" 2>/dev/null || echo '<nothing>')"
echo "markers left: $(cd "$markers" && ls *.run 2>/dev/null | tr '\n' ' ')"

echo "== a second check"
run_updater "$ZEL_WORLD_DIR/second.txt"
sed 's/^/  window: /' "$ZEL_WORLD_DIR/second.txt"
echo "screenshots: $(ls artifacts/demo-*.png | tr '\n' ' ')"

echo "== what the update service recorded"
"$ZEL_SERVICE_BIN" report --db "$svc/checkins.db"

config=$(find "$WINEPREFIX/drive_c/users" -path '*/zelGuard/config.dat' 2>/dev/null | head -1)
if [ -n "$config" ]; then
  echo "== config.dat (${config#"$WINEPREFIX/drive_c/"})"
  iconv -f GBK -t UTF-8 "$config" | tr -d '\r'
  echo "== the diagnostics log (zelpatcher.log beside it)"
  tr -d '\r' <"$(dirname "$config")/zelpatcher.log"
fi

installed=$(cmp -s "$product/sweepdoc.exe" "$package" && echo "$new" || echo "$old")
key_id=$(cut -c1-16 "$keys/world.pub")
log=$(dirname "$config")/zelpatcher.log
if [ "$installed" = "$new" ] && grep -qx "END 版本已更新到最新" "$ZEL_WORLD_DIR/second.txt" &&
  grep -q "signature: verified, key $key_id" "$log"; then
  echo "demo: every answer of the service was signed, and verified with the demo key $key_id"
  echo "demo: the product was updated from $old to $new, and the next check found it up to date"
else
  echo "demo: the product was not updated to $new" >&2
  exit 1
fi
