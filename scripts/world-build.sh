# Sourced by the scripts that run programs in an end-to-end world: builds the update
# service (host tree) and the given Windows targets, and tells the world which service
# to start. Build folders: the presets' own unless ZEL_HOST_BUILD / ZEL_WIN_BUILD name
# others; the Windows build is the 32-bit one, the program that ships, unless
# ZEL_WIN_PRESET names another. Sets win_build and exports ZEL_SERVICE_BIN.
zel_build_for_world() {
  local root host_build preset=${ZEL_WIN_PRESET:-win32}
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  host_build=$root/${ZEL_HOST_BUILD:-build/host}
  win_build=$root/${ZEL_WIN_BUILD:-build/$preset}
  [ -f "$host_build/build.ninja" ] || cmake --preset host -B "$host_build" >/dev/null
  cmake --build "$host_build" --target zelupdate-service
  [ -f "$win_build/build.ninja" ] || cmake --preset "$preset" -B "$win_build" >/dev/null
  cmake --build "$win_build" --target "$@"
  export ZEL_SERVICE_BIN=$host_build/bin/zelupdate-service
}
