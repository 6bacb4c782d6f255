#!/bin/sh
# Starts and stops the reference update service for the protocol's Wine tests.
#   service-fixture.sh start SERVICE_BINARY STATE_DIR   -> STATE_DIR/port holds its port
#   service-fixture.sh stop STATE_DIR
# The service runs on 127.0.0.1 with an empty catalog and its test-control routes; its
# output goes to files so that ctest does not wait on it.
set -eu
dir=${3:-${2:-}}
kill "$(cat "$dir/pid" 2>/dev/null)" 2>/dev/null || true
rm -f "$dir/pid" "$dir/port"
[ "${1:-}" = start ] || exit 0

bin=$2
[ -x "$bin" ] || { echo "no update service at $bin: build zelupdate-service in the host tree" >&2; exit 1; }
rm -rf "$dir"
mkdir -p "$dir/packages"
"$bin" publish --catalog "$dir/catalog.json" --policy want-full-profile off >/dev/null
# Made here: the service's own redirection may come after the first look below.
: >"$dir/stdout"
"$bin" serve --host 127.0.0.1 --port 0 --catalog "$dir/catalog.json" --db "$dir/checkins.db" \
  --packages "$dir/packages" --test-control --quiet </dev/null >"$dir/stdout" 2>"$dir/stderr" &
echo $! >"$dir/pid"
for _ in $(seq 250); do  # the sanitizers make a slow start on a busy machine
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$dir/stdout")
  [ -z "$port" ] || { echo "$port" >"$dir/port"; exit 0; }
  kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
  sleep 0.1
done
echo "the update service did not start:" >&2
cat "$dir/stderr" >&2
exit 1
