#!/usr/bin/env bash
# Load figures of the update service (release build, loopback only): queries per
# second and p50/p99 latency at 1, 64 and 256 connections for the short and the
# full profile, against nginx answering a static text in the same run; then the
# same while 32 slow downloads, 32 idle and 16 dripping connections are held, with
# a probe counting its queries answered within 1 s. Two layouts: one node (SQLite,
# with its admin listener and its request log on) and the fleet (nginx + 2 replicas
# + PostgreSQL), where one replica is then drained and the other killed under load.
# Then a PostgreSQL connection dropped silently (a firewall rule in a network
# namespace of its own; needs root and iptables). Finally whether every answered
# check-in was stored. With --signed every query names the service's ECDSA key and
# sends a nonce, so every answer is signed.
#   bench/service_load.sh [--signed] [seconds per run, default 5]
set -euo pipefail
cd "$(dirname "$0")/.."
signed=0
if [ "${1:-}" = --signed ]; then signed=1; shift; fi
seconds=${1:-5}
build=${ZEL_SERVICE_BUILD:-build/service-release}
for tool in wrk nginx curl python3 openssl; do
  command -v "$tool" >/dev/null || { echo "service_load: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target zelupdate-service >/dev/null
bin=$build/bin/zelupdate-service
lua=$PWD/service/bench/query.lua

work=$(mktemp -d /tmp/zel-load-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  [ -f "$work/restarted.pid" ] && pids+=("$(cat "$work/restarted.pid")")
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  sh service/tests/pg-cluster.sh stop "$work/pg" || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() {  # PORT
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
    sleep 0.1
  done
  echo "service_load: nothing listens on port $1" >&2
  return 1
}
start_service() {  # NAME ARGS... -> sets port and service_pid; want_port=P asks for that port
  "$bin" serve --port "${want_port:-0}" --catalog "$work/catalog.json" --packages "$work/packages" "${signing[@]}" \
    "$@" >"$work/$name.out" 2>>"$work/$name.err" </dev/null &
  service_pid=$!
  pids+=($service_pid)
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on [^:]*:\([0-9]*\)$/\1/p' "$work/$name.out")
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  cat "$work/$name.err" >&2
  return 1
}
start_nginx() {  # CONF PORT
  nginx -e "$work/nginx-startup.log" -p "$work" -c "$1" </dev/null &
  pids+=($!)
  wait_port "$2"
}

# One wrk run: prints "qps p50 p99" and adds its answered and "try again" counts.
answered=0
declare -A answered_by
run_wrk() {  # LAYOUT URL CONNECTIONS PROFILE
  local threads=2 out
  [ "$3" -lt 2 ] && threads=1
  out=$(ZEL_PROFILE=$4 ZEL_KEY_ID=$key_id wrk -t"$threads" -c"$3" -d"${seconds}s" --latency -s "$lua" "$2" 2>&1)
  local qps p50 p99 line
  qps=$(awk '/^Requests\/sec/ {printf "%d", $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  line=$(grep '^ZEL ' <<<"$out" || true)
  local ok again bad signed_count errors
  ok=$(sed -n 's/.*answered=\([0-9]*\).*/\1/p' <<<"$line")
  errors=$(sed -n 's/.*errors=\([0-9]*\).*/\1/p' <<<"$line")
  signed_count=$(sed -n 's/.*signed=\([0-9]*\).*/\1/p' <<<"$line")
  bad=$(sed -n 's/.*non2xx=\([0-9]*\).*/\1/p' <<<"$line")
  again=$(sed -n 's/.*try_again=\([0-9]*\).*/\1/p' <<<"$line")
  answered_by[$1]=$(( ${answered_by[$1]:-0} + ${ok:-0} - ${bad:-0} - ${again:-0} ))
  printf '%-8s %-5s %5s conns %8s q/s   p50 %9s   p99 %9s   non-2xx %s, errors %s, try again %s%s\n' \
    "$1" "$4" "$3" "$qps" "$p50" "$p99" "${bad:-?}" "${errors:-?}" "${again:-?}" \
    "$([ "$signed" = 1 ] && [ "$1" != static ] && echo ", signed ${signed_count:-?}")"
}

# The share of 200 sequential queries, each on a new connection, answered within 1 s.
probe() {  # URL
  local body within=0 total=200 t
  body=$(sed -n 1p "$work/probe-body")
  local headers=()
  [ "$signed" = 1 ] && headers=(-H "X-Zel-Key-Id: $key_id" -H "X-Zel-Nonce: 00112233445566778899aabbccddeeff")
  for _ in $(seq $total); do
    t=$(curl -s -o /dev/null -m 3 -w '%{http_code} %{time_total}' "${headers[@]}" -d "$body" "$1" || true)
    awk -v t="$t" 'BEGIN { split(t, a, " "); exit !(a[1] == 200 && a[2] < 1.0) }' && within=$((within + 1))
  done
  echo "$within $total"
}

hostile_run() {  # LAYOUT PORT URL PACKAGE
  python3 service/bench/hostile.py "$2" "$4" $((seconds * 3 + 30)) >/dev/null &
  local holder=$!
  pids+=($holder)
  sleep 1
  run_wrk "$1+hold" "$3" 64 short &
  local load=$!
  local share
  share=$(probe "$3")
  wait "$load"
  kill "$holder" 2>/dev/null || true
  read -r within total <<<"$share"
  printf '%-8s probe while held and under load: %d of %d answered within 1 s (%s%%)\n' "$1" "$within" "$total" \
    "$(awk -v a="$within" -v b="$total" 'BEGIN { printf "%.1f", 100 * a / b }')"
}

stored() {  # DB
  "$bin" report --db "$1" | sed -n 's/^check-ins: //p'
}

mkdir -p "$work/packages"
key_id=""
signing=()
if [ "$signed" = 1 ]; then
  key_id=$("$bin" keygen --out "$work/keys")
  signing=(--signing-key "$work/keys/$key_id.pem")
  echo "== every query signed with the ECDSA P-256 key $key_id"
fi
head -c 3000000 /dev/urandom >"$work/packages/zel-2.1.0.exe"
"$bin" publish --catalog "$work/catalog.json" --version 2.1.0 --package "$work/packages/zel-2.1.0.exe" \
  --url "http://update.example/packages/zel-2.1.0.exe" --latest --policy full-profile-every-days 30 >/dev/null
python3 - "$work/probe-body" <<'PY'
import sys
hx = lambda s: s.encode().hex().upper()
q = "AppVer=" + hx("2.0.0") + "&ExecutionLevel=30&UUID=" + hx("probe") + "&OSMajorVer=3130"
d = hx(q)
open(sys.argv[1], "w").write(f"size={len(d)}&checksum=0&zip=0&data={d}\n")
PY

echo "== nginx answering a static text"
static_port=$(free_port)
cat >"$work/static.conf" <<CONF
worker_processes auto; pid $work/static.pid; error_log $work/static-error.log; daemon off;
events { worker_connections 8192; }
http { access_log off; client_body_temp_path $work/sbody; proxy_temp_path $work/sproxy;
  fastcgi_temp_path $work/sfcgi; uwsgi_temp_path $work/suwsgi; scgi_temp_path $work/sscgi;
  tcp_nodelay on; keepalive_requests 100000; client_max_body_size 64k; client_body_buffer_size 64k;
  server { listen 127.0.0.1:$static_port backlog=4096;
    location / { default_type application/json; return 200 '{"code":1,"message":"up to date","data":{"action":"31"}}'; } } }
CONF
start_nginx "$work/static.conf" "$static_port"
for profile in short full; do
  for c in 1 64 256; do run_wrk static "http://127.0.0.1:$static_port/zelguard/update1" "$c" "$profile"; done
done

echo "== one node: the service with SQLite, its admin listener and its request log"
admin_port=$(free_port)
name=node start_service --db "$work/node.db" --admin "127.0.0.1:$admin_port"
node_port=$port
for profile in short full; do
  for c in 1 64 256; do run_wrk node "http://127.0.0.1:$node_port/zelguard/update1" "$c" "$profile"; done
done
hostile_run node "$node_port" "http://127.0.0.1:$node_port/zelguard/update1" /packages/zel-2.1.0.exe
curl -s "http://127.0.0.1:$admin_port/metrics" | awk '
  /^zelupdate_try_again_total/ { again += $2 }
  /^zelupdate_commit_seconds_count/ { commits = $2 } /^zelupdate_commit_seconds_sum/ { sum = $2 }
  /^zelupdate_log_lines_dropped_total/ { dropped = $2 }
  END { printf "node     metrics: %d group commits, mean %.2f ms; try again %d; log lines dropped %d\n",
        commits, commits ? 1000 * sum / commits : 0, again, dropped }'
printf 'node     request log: %d lines\n' "$(grep -c ' info req=' "$work/node.err" || true)"
# 200,000 check-ins of 2020 pruned while the load runs: prune takes them in batches.
python3 - "$work/node.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1], timeout=30)
db.executemany("INSERT INTO checkins (time, full_profile, uuid, app_ver) VALUES ('2020-01-01T00:00:00Z', 0, ?, '1.0')",
               ((f"OLD-{i}",) for i in range(200000)))
db.commit()
PY
( sleep 1; "$bin" prune --db "$work/node.db" --older-than 30 >"$work/prune.out" 2>&1 ) &
pruner=$!
run_wrk node+prune "http://127.0.0.1:$node_port/zelguard/update1" 64 short
wait "$pruner" || true
printf 'node     prune beside the load: %s\n' "$(cat "$work/prune.out")"

echo "== fleet: nginx, 2 replicas, PostgreSQL"
pg=$(ZEL_PG_DURABLE=1 sh service/tests/pg-cluster.sh start "$work/pg")
replicas=""
declare -A replica_port replica_pid
for r in 1 2; do
  name=replica$r start_service --db "$pg" --threads 1 --trusted-proxy 127.0.0.1
  replica_port[$r]=$port
  replica_pid[$r]=$service_pid
  replicas+="    server 127.0.0.1:$port max_fails=1 fail_timeout=2s;"$'\n'
done
fleet_port=$(free_port)
tls_port=$(free_port)
mkdir -p "$work/fleet"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=localhost \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
python3 - "$work/fleet.conf" "$work/fleet" "$work/packages" "127.0.0.1:$fleet_port" \
  "$replicas" "127.0.0.1:$tls_port" "$work/cert.pem" "$work/key.pem" <<'PY'
import sys
dst, prefix, packages, listen, replicas, tls, cert, key = sys.argv[1:9]
site = open("service/deploy/zelupdate-site.conf.in").read()
for field, value in (("@LISTEN@", listen), ("@TLS_LISTEN@", tls), ("@CERT@", cert), ("@CERT_KEY@", key),
                     ("@PACKAGES@", packages), ("@LOG_DIR@", prefix), ("@REPLICAS@\n", replicas)):
    site = site.replace(field, value)
open(prefix + "/site.conf", "w").write(site)
top = open("service/deploy/nginx.conf.in").read().replace("@PREFIX@", prefix).replace("@SITE@", prefix + "/site.conf")
open(dst, "w").write(top)
PY
start_nginx "$work/fleet.conf" "$fleet_port"
for profile in short full; do
  for c in 1 64 256; do run_wrk fleet "http://127.0.0.1:$fleet_port/zelguard/update1" "$c" "$profile"; done
done
hostile_run fleet "$fleet_port" "http://127.0.0.1:$fleet_port/zelguard/update1" /packages/zel-2.1.0.exe

echo "== fleet under load: replica 1 drained (SIGTERM) and started again, then replica 2 killed (SIGKILL)"
churn() {  # within a run of 2 x seconds: drain at a fifth of it, kill at three fifths
  sleep "$(awk -v s="$seconds" 'BEGIN { print s * 2 / 5 }')"
  kill -TERM "${replica_pid[1]}"
  while kill -0 "${replica_pid[1]}" 2>/dev/null; do sleep 0.05; done
  name=replica1 want_port=${replica_port[1]} start_service --db "$pg" --threads 1 --trusted-proxy 127.0.0.1
  echo "$service_pid" >"$work/restarted.pid"  # this subshell's pids are not the script's
  # nginx gives a replica that answered 503 no query for its fail_timeout (2 s).
  sleep "$(awk -v s="$seconds" 'BEGIN { print s * 4 / 5 }')"
  kill -KILL "${replica_pid[2]}"
}
churn &
churner=$!
seconds_before=$seconds
seconds=$((seconds * 2))
run_wrk fleet+churn "http://127.0.0.1:$fleet_port/zelguard/update1" 64 short
seconds=$seconds_before
wait "$churner"

echo "== answered check-ins stored"
for layout in node fleet; do
  db=$work/node.db
  [ "$layout" = fleet ] && db=$pg
  answered=$(( ${answered_by[$layout]:-0} + ${answered_by[$layout+hold]:-0} + ${answered_by[$layout+churn]:-0} +
    ${answered_by[$layout+prune]:-0} ))
  kept=$(stored "$db")
  printf '%-8s answered (not "try again") %d, stored %d: %s\n' "$layout" "$answered" "$kept" \
    "$([ "$kept" -ge "$answered" ] && echo "none lost" || echo "LOST $((answered - kept))")"
done

echo "== PostgreSQL dropped silently (every packet to and from its port dropped, in a network namespace)"
if [ "$(id -u)" = 0 ] && command -v iptables >/dev/null && command -v unshare >/dev/null; then
  unshare -n bash -c '
    set -eu
    ip link set lo up
    pg=$(ZEL_PG_LISTEN=127.0.0.1 sh service/tests/pg-cluster.sh start "$2/pgdrop")
    "$1" serve --port 0 --catalog "$2/catalog.json" --packages "$2/packages" --db "$pg" --quiet \
      >"$2/drop.out" 2>"$2/drop.err" </dev/null &
    svc=$!
    for _ in $(seq 100); do
      port=$(sed -n "s/^listening on [^:]*:\([0-9]*\)$/\1/p" "$2/drop.out")
      [ -n "$port" ] && break
      sleep 0.1
    done
    python3 service/bench/pg_drop.py "$port" 10 || true
    kill "$svc"; wait "$svc" || true
    sh service/tests/pg-cluster.sh stop "$2/pgdrop"
  ' pgdrop "$bin" "$work"
else
  echo "pg-drop  skipped: needs root, iptables and unshare"
fi
