#!/bin/sh
# A throwaway PostgreSQL cluster for tests, reachable only through a socket in its
# own folder. PostgreSQL refuses to run as root, so it runs as the postgres user.
#   pg-cluster.sh start DIR   -> prints the connection string
#   pg-cluster.sh stop DIR    (start again with: pg-cluster.sh restart DIR)
# ZEL_PG_LISTEN=127.0.0.1 also listens on TCP port 5432 there (and names it in the
# connection string), for a network fault between the service and the server.
set -eu
dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/pg_ctl" ] || { echo "PostgreSQL is not installed" >&2; exit 3; }
as_postgres() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case $1 in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown postgres: "$dir"
    as_postgres "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync --locale=C -E UTF8 >"$dir/initdb.log" 2>&1
    ;;
  restart) ;;
  stop)
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    exit 0 ;;
esac
# Test data need not survive a crash of the machine: no syncing (ZEL_PG_DURABLE=1
# keeps the defaults, for benchmarks).
sync_off="-c fsync=off"
[ "${ZEL_PG_DURABLE:-}" = 1 ] && sync_off=""
listen=${ZEL_PG_LISTEN:-}
as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
  -o "-k $dir -c listen_addresses='$listen' -p 5432 $sync_off -c max_connections=50" \
  start >/dev/null
echo "host=${listen:-$dir} port=5432 user=postgres dbname=postgres"
