#!/bin/sh
# The OTLP receiver beside nginx (one worker, a fixed 200) under the same wrk load: keep-alive
# POSTs of the recorded 11.6 KB Codex body, 1 and 16 connections. The two take turns, rounds
# times each, so a drift in the machine's speed falls on both; each round's ratio and the median
# are printed. Needs nginx and wrk (apt-get install nginx-light wrk); not test dependencies.
#     bench/otel_vs_nginx.sh build/release/src/corvane [seconds] [rounds]
set -eu
binary=$1
seconds=${2:-10}
rounds=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
body="$here/../tests/fixtures/samples/codex/exec/otlp/0002.body.raw.json"
work=$(mktemp -d /tmp/corvane-wrk-XXXXXX)
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
nginx_port=$(free_port)
otel_port=$(free_port)

cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_buffer_size 64k;
    server {
        listen 127.0.0.1:$nginx_port;
        location / { return 200 '{}'; default_type application/json; }
    }
}
CONF
cat >"$work/post.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
local f = io.open("$body", "rb"); wrk.body = f:read("*a"); f:close()
LUA

nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config CORVANE_OTEL_PORT=$otel_port \
    DISPLAY= WAYLAND_DISPLAY= "$binary" --headless 2>/dev/null &
corvane_pid=$!
trap 'kill $nginx_pid $corvane_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
sleep 1.5

rate() { wrk -t1 -c"$2" -d"${seconds}s" -s "$work/post.lua" "http://127.0.0.1:$1/v1/logs" | awk '/Requests\/sec/ {print $2}'; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for connections in 1 16; do
    ratios=""
    for round in $(seq "$rounds"); do
        n=$(rate "$nginx_port" "$connections")
        c=$(rate "$otel_port" "$connections")
        ratio=$(echo "$c $n" | awk '{printf "%.2f", $1 / $2}')
        ratios="$ratios $ratio"
        echo "c$connections round $round: nginx $n req/s, corvane $c req/s, ratio $ratio"
    done
    echo "c$connections median ratio: $(echo "$ratios" | tr ' ' '\n' | grep . | median)"
done
