#!/usr/bin/env bash
# The demo: a user's manual check on a machine whose product is up to date.
#
# Builds the program and the update service, sets up an end-to-end world (a private
# network in which the program's built-in update host leads to the service on this
# machine), publishes version 2.1.0 as the latest in the service's catalog, installs a
# product of that version in "C:\Program Files\Zel Guard", runs zelpatcher.exe /ui
# /manual as a standard user (not elevated) and waits for its window to say that the
# version is the latest. Keeps a screenshot (artifacts/demo-window.png), prints what
# the service recorded and config.dat, and exits 0 only when the window said so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== building the update service and the program"
source scripts/world-build.sh
zel_build_for_world zelpatcher zel_world_peers
bin=$win_build/bin

unset DISPLAY  # a virtual display of the demo's own, with nothing else on it
source tests/e2e/world/world.sh
trap world_down EXIT
world_up demo

version=2.1.0
expected="版本已更新到最新"
svc=$ZEL_WORLD_DIR/service

echo "== publishing version $version as the latest"
head -c 200000 /dev/urandom >"$svc/packages/zel-$version.exe"  # a stand-in package
"$ZEL_SERVICE_BIN" publish --catalog "$svc/catalog.json" --version "$version" \
  --package "$svc/packages/zel-$version.exe" \
  --url "http://update.zelvora.cn/packages/zel-$version.exe" --latest

echo "== installing the product, version $version, in C:\\Program Files\\Zel Guard"
product="$WINEPREFIX/drive_c/Program Files/Zel Guard"
mkdir -p "$product"
cp "$bin/zelpatcher.exe" "$bin/zlib1.dll" "$product/"
for name in sweepdoc zelcore docwatch; do cp "$bin/zelver-$version.0.exe" "$product/$name.exe"; done

echo "== zelpatcher.exe /ui /manual, as a standard user"
status_file=$ZEL_WORLD_DIR/status.txt
close_file=$ZEL_WORLD_DIR/close
# A desktop window of its own gives the program a title bar on a display without a
# window manager; the launcher reports the status once the button "退出" is enabled.
world_exec wine explorer /desktop=zeldemo,520x340 "$(zel_world_winpath "$bin/zelrunlimited.exe")" \
  --watch "$(zel_world_winpath "$status_file")" "$(zel_world_winpath "$close_file")" \
  'C:\Program Files\Zel Guard\zelpatcher.exe' /ui /manual >/dev/null 2>&1 &
demo=$!
for _ in $(seq 1200); do
  [ -s "$status_file" ] && break
  kill -0 "$demo" 2>/dev/null || break
  sleep 0.25
done
sleep 1  # let the window paint its last status
mkdir -p artifacts
xwd -root -silent | /usr/bin/convert xwd:- -crop 520x340+0+0 +repage artifacts/demo-window.png 2>/dev/null ||
  import -window root -crop 520x340+0+0 +repage artifacts/demo-window.png
echo "screenshot: artifacts/demo-window.png"
touch "$close_file"
for _ in $(seq 100); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done

shown=$(cat "$status_file" 2>/dev/null || true)
echo "window status: ${shown:-<none>}"

echo "== what the update service recorded"
"$ZEL_SERVICE_BIN" report --db "$svc/checkins.db"

config=$(find "$WINEPREFIX/drive_c/users" -path '*/zelGuard/config.dat' 2>/dev/null | head -1)
if [ -n "$config" ]; then
  echo "== config.dat (${config#"$WINEPREFIX/drive_c/"})"
  iconv -f GBK -t UTF-8 "$config" | tr -d '\r'
fi

if [ "$shown" = "$expected" ]; then
  echo "demo: the window showed \"$expected\""
else
  echo "demo: the window did not show \"$expected\"" >&2
  exit 1
fi
