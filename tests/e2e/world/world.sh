# The end-to-end world, sourced by run-in-world.sh, the demo and the benchmark.
#
# A world is a private network namespace in which the program's built-in host names
# (the update service and the probe site) resolve to 127.0.0.1, the reference update
# service listens on port 80 with its test control, and a Wine prefix of its own has
# its wineserver (Wine makes TCP sockets there, so it must sit in the namespace too).
# The prefix is an overlay on a template prefix made once, so a world costs seconds,
# and everything a run leaves behind goes away with the world.
#
#   world_up LABEL      builds the world; exports what its programs need (below)
#   world_exec CMD...   runs a command inside the namespace
#   world_down          tears everything down (safe to call twice; set as a trap)
#
# Exported for the programs of the world (Windows paths where Windows programs read
# them):
#   ZEL_WORLD_NAME      namespace name, unique per run: zelw-LABEL-PID
#   ZEL_WORLD_DIR       the world's folder (Unix)
#   ZEL_WORLD_SERVICE   base URL of the service's test control, reachable inside
#   ZEL_WORLD_HOSTS     the namespace's hosts file (Windows path; rewriting it in place
#                       moves a host name for every program in the namespace at once)
#   ZEL_WORLD_CATALOG   the service's catalog file (Windows path)
#   ZEL_WORLD_PACKAGES  the service's packages folder (Windows path), which nginx also
#                       serves on port 81 of the namespace, as a real web server would
#   ZEL_WORLD_PROXY     host:port of an HTTP proxy that passes everything on;
#   ZEL_WORLD_PROXY_407 of one that asks for credentials, ZEL_WORLD_PROXY_403 of one
#                       that refuses
#   WINEPREFIX, DISPLAY
#
# Settings read: ZEL_SERVICE_BIN (the service program; default build/host/bin, built
# there when missing), ZEL_WORLD_KEEP=1 (keep the world's folder after teardown),
# ZEL_WORLD_SIGNING_KEYS (private key files, separated by blanks, that the service
# signs answers with when a query names them), ZEL_WORLD_WINDOWS (the Windows the
# prefix reports: "xp", a 32-bit prefix of Windows XP, which runs only the 32-bit build;
# "7", Windows 7; empty, Wine's own default).

zel_world_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$zel_world_root/scripts/wine-env.sh"  # zel_prefix_runs_32_bit
zel_world_base=$zel_world_root/build/e2e-worlds
zel_world_windows=${ZEL_WORLD_WINDOWS:-}
zel_world_template=$zel_world_root/build/e2e-world-template${zel_world_windows:+-win$zel_world_windows}

# Hosts of the world: the built-in addresses of the program, all on the loopback.
zel_world_hosts_text() {
  printf '%s\n' '127.0.0.1 localhost' '::1 localhost ip6-localhost' \
    '127.0.0.1 update.zelvora.cn' '127.0.0.1 www.baidu.com'
}

zel_world_log() { echo "world: $*" >&2; }

# Winepath-free conversion: Wine maps the Unix root to drive Z:.
zel_world_winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The template prefix, made once per checkout and Windows (wineboot takes half a minute
# under load).
zel_world_template_ready() {
  (
    flock 9
    if [ ! -f "$zel_world_template/.zel-template-ready" ] || ! zel_prefix_runs_32_bit "$zel_world_template"; then
      zel_world_log "making the template prefix (once)"
      rm -rf "$zel_world_template"
      mkdir -p "$zel_world_template"
      export WINEPREFIX=$zel_world_template
      local version=
      case $zel_world_windows in
        xp) export WINEARCH=win32 version=winxp ;;
        7) version=win7 ;;
        '') ;;
        *) zel_world_log "unknown ZEL_WORLD_WINDOWS $zel_world_windows (xp, 7 or empty)"; exit 1 ;;
      esac
      wineboot -i >/dev/null 2>&1 || true
      [ -z "$version" ] || wine winecfg -v "$version" >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      wineserver -w
      [ -f "$zel_world_template/system.reg" ] || exit 1
      touch "$zel_world_template/.zel-template-ready"
    fi
    # Title-bar buttons are drawn in Marlett, which Debian's Wine does not find on its
    # own (scripts/wine-env.sh says more).
    cp -n /usr/share/wine/fonts/marlett.ttf "$zel_world_template/drive_c/windows/Fonts/" 2>/dev/null || true
  ) 9>"$zel_world_template.lock"
}

zel_world_service_ready() {
  if [ -z "${ZEL_SERVICE_BIN:-}" ]; then
    ZEL_SERVICE_BIN=$zel_world_root/build/host/bin/zelupdate-service
    if [ ! -x "$ZEL_SERVICE_BIN" ]; then
      zel_world_log "building the update service in build/host"
      (
        flock 9
        cd "$zel_world_root"
        [ -f build/host/build.ninja ] || cmake --preset host >/dev/null
        cmake --build --preset host --target zelupdate-service >/dev/null
      ) 9>"$zel_world_root/build/host-service.lock"
    fi
  fi
  [ -x "$ZEL_SERVICE_BIN" ] || { zel_world_log "no update service at $ZEL_SERVICE_BIN"; return 1; }
}

# Tears down one world by name: its processes, its prefix mount, namespace and folder.
zel_world_remove() {
  local name=$1 dir=$zel_world_base/$1
  local pids xvfb
  if ip netns list 2>/dev/null | grep -qw "^$name"; then
    pids=$(ip netns pids "$name" 2>/dev/null || true)
    # Only processes inside this world's own namespace: all of them were started by it.
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
  fi
  # A display of the world's own (it runs outside the namespace).
  if [ -f "$dir/xvfb.pid" ]; then
    xvfb=$(cat "$dir/xvfb.pid")
    grep -q Xvfb "/proc/$xvfb/cmdline" 2>/dev/null && kill "$xvfb" 2>/dev/null || true
  fi
  if mountpoint -q "$dir/prefix" 2>/dev/null; then
    umount "$dir/prefix" 2>/dev/null || umount -l "$dir/prefix" 2>/dev/null || true
  fi
  ip netns del "$name" 2>/dev/null || true
  rm -rf "/etc/netns/$name"
  [ "${ZEL_WORLD_KEEP:-}" = 1 ] || rm -rf "$dir"
}

# Worlds whose creating shell is gone (killed without its trap) are swept away.
zel_world_sweep() {
  local name pid
  for name in $(ip netns list 2>/dev/null | awk '{print $1}' | grep '^zelw-' || true); do
    pid=${name##*-}
    [ -d "/proc/$pid" ] || { zel_world_log "sweeping stale $name"; zel_world_remove "$name"; }
  done
}

world_exec() {
  ip netns exec "$ZEL_WORLD_NAME" "$@"
}

world_up() {
  local label=${1:-e2e}
  mkdir -p "$zel_world_base"
  zel_world_sweep
  zel_world_service_ready || return 1
  zel_world_template_ready || { zel_world_log "the template prefix could not be made"; return 1; }

  ZEL_WORLD_NAME=zelw-$label-$$
  ZEL_WORLD_DIR=$zel_world_base/$ZEL_WORLD_NAME
  export ZEL_WORLD_NAME ZEL_WORLD_DIR
  zel_world_up=1
  rm -rf "$ZEL_WORLD_DIR"
  mkdir -p "$ZEL_WORLD_DIR"/{upper,work,prefix,service/packages}

  # Network: loopback only; pings from a root process or any group.
  ip netns add "$ZEL_WORLD_NAME"
  mkdir -p "/etc/netns/$ZEL_WORLD_NAME"
  zel_world_hosts_text >"/etc/netns/$ZEL_WORLD_NAME/hosts"
  world_exec ip link set lo up
  world_exec sysctl -q -w net.ipv4.ping_group_range="0 2147483647" || true

  # Prefix: an overlay on the template, or a copy where overlays are not allowed.
  export WINEPREFIX=$ZEL_WORLD_DIR/prefix
  if ! mount -t overlay overlay \
    -o "lowerdir=$zel_world_template,upperdir=$ZEL_WORLD_DIR/upper,workdir=$ZEL_WORLD_DIR/work" \
    "$WINEPREFIX" 2>/dev/null; then
    zel_world_log "no overlay here; copying the template prefix"
    cp -a "$zel_world_template/." "$WINEPREFIX/"
  fi
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LC_ALL=zh_CN.UTF-8
  # The world has no proxy; Wine's HTTP stack would take one from the environment.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY

  if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display itself and names it once it accepts connections, so
    # worlds started at the same moment never share one.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ZEL_WORLD_DIR/display" >/dev/null 2>&1 &
    zel_world_xvfb=$!
    echo "$zel_world_xvfb" >"$ZEL_WORLD_DIR/xvfb.pid"
    for _ in $(seq 100); do [ -s "$ZEL_WORLD_DIR/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(head -1 "$ZEL_WORLD_DIR/display")
  fi

  world_exec wineserver -p </dev/null >/dev/null 2>&1 || true
  world_exec wine cmd /c exit >/dev/null 2>&1 || true

  # The update service on the built-in host's port.
  local svc=$ZEL_WORLD_DIR/service
  local key signing=()
  for key in ${ZEL_WORLD_SIGNING_KEYS:-}; do signing+=(--signing-key "$key"); done
  world_exec "$ZEL_SERVICE_BIN" serve --host 127.0.0.1 --port 80 --catalog "$svc/catalog.json" \
    --db "$svc/checkins.db" --packages "$svc/packages" --test-control "${signing[@]}" \
    >"$svc/stdout" 2>"$svc/stderr" </dev/null &
  zel_world_service=$!
  for _ in $(seq 200); do
    grep -q '^listening on' "$svc/stdout" 2>/dev/null && break
    kill -0 "$zel_world_service" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q '^listening on' "$svc/stdout" 2>/dev/null; then
    zel_world_log "the update service did not start:"
    cat "$svc/stderr" >&2
    return 1
  fi

  # A real web server beside it: nginx serves the same packages on port 81.
  local web=$ZEL_WORLD_DIR/nginx
  mkdir -p "$web/tmp"
  cat >"$web/nginx.conf" <<CONF
user root root;
worker_processes 1;
pid $web/nginx.pid;
error_log $web/error.log;
events { worker_connections 64; }
http {
  access_log $web/access.log;
  client_body_temp_path $web/tmp/body;
  proxy_temp_path $web/tmp/proxy;
  fastcgi_temp_path $web/tmp/fastcgi;
  uwsgi_temp_path $web/tmp/uwsgi;
  scgi_temp_path $web/tmp/scgi;
  types { }
  default_type application/octet-stream;
  server { listen 127.0.0.1:81; root $svc/packages; }
  # The refusing proxies (ZEL_WORLD_PROXY_407/_403): they read the whole request before
  # they answer, so a client never meets a closed connection in place of the answer.
  server {
    listen 127.0.0.1:3129;
    location / { add_header Proxy-Authenticate 'Basic realm="proxy"' always; return 407; }
  }
  server { listen 127.0.0.1:3130; location / { return 403; } }
}
CONF
  if ! world_exec nginx -p "$web" -c "$web/nginx.conf" -e "$web/error.log" 2>"$web/start.log"; then
    zel_world_log "nginx did not start:"
    cat "$web/start.log" >&2
    return 1
  fi

  # The user's HTTP proxy, as an organisation's would be (tinyproxy). It keeps the host
  # names of the world as they are now, so a scenario can take the direct route to the
  # update host away (HostsOverride) and leave only the proxy's. nginx above plays the
  # proxies that want credentials (407) or refuse (403).
  local proxy=$ZEL_WORLD_DIR/proxy
  mkdir -p "$proxy"
  cp "/etc/netns/$ZEL_WORLD_NAME/hosts" "$proxy/hosts"
  printf '%s\n' "Port 3128" "Listen 127.0.0.1" "Timeout 30" "MaxClients 32" "LogFile \"$proxy/tinyproxy.log\"" \
    "LogLevel Info" "DisableViaHeader Yes" >"$proxy/tinyproxy.conf"
  world_exec unshare -m sh -c 'mount --bind "$1" /etc/hosts && exec tinyproxy -d -c "$2"' sh \
    "$proxy/hosts" "$proxy/tinyproxy.conf" >"$proxy/stdout" 2>&1 </dev/null &
  for _ in $(seq 100); do
    world_exec bash -c "exec 3<>/dev/tcp/127.0.0.1/3128" 2>/dev/null && break
    sleep 0.05
  done
  export ZEL_WORLD_PROXY=127.0.0.1:3128 ZEL_WORLD_PROXY_407=127.0.0.1:3129 ZEL_WORLD_PROXY_403=127.0.0.1:3130

  export ZEL_WORLD_SERVICE=http://127.0.0.1:80
  ZEL_WORLD_HOSTS=$(zel_world_winpath "/etc/netns/$ZEL_WORLD_NAME/hosts")
  ZEL_WORLD_CATALOG=$(zel_world_winpath "$svc/catalog.json")
  ZEL_WORLD_PACKAGES=$(zel_world_winpath "$svc/packages")
  export ZEL_WORLD_HOSTS ZEL_WORLD_CATALOG ZEL_WORLD_PACKAGES
  zel_world_log "$ZEL_WORLD_NAME is up (service $(head -1 "$svc/stdout"), display $DISPLAY)"
}

world_down() {
  [ -n "${zel_world_up:-}" ] || return 0
  zel_world_up=
  WINEPREFIX=$ZEL_WORLD_DIR/prefix wineserver -k >/dev/null 2>&1 || true
  [ -f "$ZEL_WORLD_DIR/nginx/nginx.pid" ] && kill "$(cat "$ZEL_WORLD_DIR/nginx/nginx.pid")" 2>/dev/null || true
  if [ -n "${zel_world_service:-}" ]; then
    kill "$zel_world_service" 2>/dev/null || true
    wait "$zel_world_service" 2>/dev/null || true
  fi
  # The wineserver lingers a moment after the kill; the mount is busy until it ends.
  for _ in $(seq 50); do
    [ -z "$(ip netns pids "$ZEL_WORLD_NAME" 2>/dev/null)" ] && break
    sleep 0.1
  done
  zel_world_remove "$ZEL_WORLD_NAME"
  if [ -n "${zel_world_xvfb:-}" ]; then
    wait "$zel_world_xvfb" 2>/dev/null || true
    zel_world_xvfb=
  fi
}
