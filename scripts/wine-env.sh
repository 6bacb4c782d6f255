# Sourced by the test and demo scripts: one Wine prefix per run, a persistent
# wineserver (without one each test start costs seconds), no crash dialogs, and a
# virtual display when there is none.
#   ZEL_WINEPREFIX  prefix folder (default: build/wineprefix)
#   ZEL_NETNS       when set, the wineserver runs inside this network namespace
zel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${ZEL_WINEPREFIX:-$zel_root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=zh_CN.UTF-8

zel_start_display() {
  if [ -z "${DISPLAY:-}" ]; then
    local n=97
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    ZEL_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  fi
}

zel_start_wine() {
  local run=()
  [ -n "${ZEL_NETNS:-}" ] && run=(ip netns exec "$ZEL_NETNS")
  # A 64-bit prefix made before the 32-bit Wine was installed cannot run 32-bit programs.
  zel_prefix_runs_32_bit "$WINEPREFIX" || rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "${run[@]}" wineboot -i >/dev/null 2>&1 || true
    "${run[@]}" wineserver -w
  fi
  zel_wine_fonts "$WINEPREFIX"
  "${run[@]}" wineserver -p </dev/null >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1 || true
}

# False for a finished 64-bit prefix without the 32-bit system folder.
zel_prefix_runs_32_bit() {
  [ ! -f "$1/system.reg" ] || ! grep -q '^#arch=win64' "$1/system.reg" || [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]
}

# Debian's Wine looks for its own fonts under a path it cannot open, so title bars
# (whose buttons are drawn in Marlett) showed letters instead of buttons. The prefix
# gets the font from fonts-wine in its own Fonts folder, which Wine does read.
zel_wine_fonts() {
  cp -n /usr/share/wine/fonts/marlett.ttf "$1/drive_c/windows/Fonts/" 2>/dev/null || true
}

zel_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${ZEL_XVFB_PID:-}" ]; then kill "$ZEL_XVFB_PID" 2>/dev/null || true; fi
}
