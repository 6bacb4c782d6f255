#!/bin/sh
# Starts and stops a private nginx on 127.0.0.1 for the download tests and the download
# benchmarks: a real web server's Range behaviour.
#   nginx-fixture.sh start STATE_DIR   -> STATE_DIR/port holds its port, STATE_DIR/www its files
#   nginx-fixture.sh stop STATE_DIR
# /NAME serves STATE_DIR/www/NAME with ranges. /slow/NAME does too, but sends a request
# without a Range header at 1 MiB/s, so a download can be caught half-way. /norange/NAME
# is /slow/ answering every request with the whole file (200), ranges or not.
# /moved/NAME redirects (302) to /NAME.
# STATE_DIR/access.log has one line per answer: URI, status, Range header, bytes sent.
set -eu
dir=$2
[ -f "$dir/nginx.pid" ] && kill "$(cat "$dir/nginx.pid")" 2>/dev/null || true
for _ in $(seq 50); do [ -f "$dir/nginx.pid" ] || break; sleep 0.1; done
rm -f "$dir/port"
[ "$1" = start ] || exit 0

rm -rf "$dir"
mkdir -p "$dir/www" "$dir/tmp"
# Workers of a master started by root must be able to read the state folder.
user=""
[ "$(id -u)" = 0 ] && user="user root root;"
for _ in $(seq 20); do
  port=$(( 20000 + $(od -An -N2 -tu2 /dev/urandom) % 20000 ))
  cat >"$dir/nginx.conf" <<CONF
$user
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  log_format zel '\$request_uri \$status "\$http_range" \$body_bytes_sent';
  access_log $dir/access.log zel;
  client_body_temp_path $dir/tmp/body; proxy_temp_path $dir/tmp/proxy; fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi; scgi_temp_path $dir/tmp/scgi;
  types { } default_type application/octet-stream;
  map \$http_range \$first_request_rate { "" 1m; default 0; }
  server {
    listen 127.0.0.1:$port;
    root $dir/www;
    location /slow/ { alias $dir/www/; limit_rate \$first_request_rate; }
    location /norange/ { alias $dir/www/; limit_rate \$first_request_rate; max_ranges 0; }
    location /moved/ { rewrite ^/moved/(.*)\$ /\$1 redirect; }
  }
}
CONF
  if nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" 2>>"$dir/start.log"; then
    echo "$port" >"$dir/port"
    exit 0
  fi
  grep -q 'Address already in use' "$dir/start.log" || break
done
echo "nginx did not start:" >&2
cat "$dir/start.log" "$dir/error.log" >&2 2>/dev/null
exit 1
