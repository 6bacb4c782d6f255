#!/usr/bin/env bash
# The demo: builds the program and runs it as a user would, under Wine on a virtual
# display, then keeps a screenshot of its window (artifacts/demo-window.png) and
# shows what it wrote to config.dat.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset win64 >/dev/null
cmake --build --preset win64 --target zelpatcher

export ZEL_WINEPREFIX=$PWD/build/wineprefix-demo
source scripts/wine-env.sh
trap zel_stop_wine EXIT
zel_start_display
zel_start_wine
mkdir -p artifacts

appdata=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
config_unix=$(winepath -u "$appdata\\zelGuard\\config.dat" 2>/dev/null)

echo "== zelpatcher.exe /ui /manual"
# A desktop window of its own gives the program a title bar on a display without a
# window manager.
wine explorer /desktop=zeldemo,520x340 build/win64/bin/zelpatcher.exe /ui /manual &
demo_pid=$!
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q 'zeldemo' && break
  sleep 0.2
done
sleep 3
/usr/bin/convert xwd:<(xwd -root -silent) -crop 520x340+0+0 +repage artifacts/demo-window.png 2>/dev/null ||
  import -window root -crop 520x340+0+0 artifacts/demo-window.png
echo "screenshot: artifacts/demo-window.png"
if [ -f "$config_unix" ]; then
  echo "== $appdata\\zelGuard\\config.dat"
  iconv -f GBK -t UTF-8 "$config_unix" 2>/dev/null || cat "$config_unix"
fi
kill "$demo_pid" 2>/dev/null || true
