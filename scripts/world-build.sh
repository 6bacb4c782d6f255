# Sourced by the scripts that run programs in an end-to-end world: builds the update
# service (host tree) and the given Windows targets, and tells the world which service
# to start. Build folders: the presets' own unless ZEL_HOST_BUILD / ZEL_WIN_BUILD name
# others. Sets win_build and exports ZEL_SERVICE_BIN.
zel_build_for_world() {
  local root host_build
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  host_build=$root/${ZEL_HOST_BUILD:-build/host}
  win_build=$root/${ZEL_WIN_BUILD:-build/win64}
  [ -f "$host_build/build.ninja" ] || cmake --preset host -B "$host_build" >/dev/null
  cmake --build "$host_build" --target zelupdate-service
  [ -f "$win_build/build.ninja" ] || cmake --preset win64 -B "$win_build" >/dev/null
  cmake --build "$win_build" --target "$@"
  export ZEL_SERVICE_BIN=$host_build/bin/zelupdate-service
}
