#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks of the shared
# (multi-station) database.
#   pg-test-server.sh start DIR   starts a server in DIR and prints its URL
#   pg-test-server.sh stop DIR    stops it and removes DIR
#   pg-test-server.sh kill DIR    stops it at once, as a crash would; keeps DIR
#   pg-test-server.sh resume DIR  starts a killed server again, same port
#   pg-test-server.sh run CMD...  starts a server, runs CMD with
#                                 TAVIRO_TEST_DATABASE set, always stops it
# PostgreSQL refuses to run as root, so under root the server runs as nobody;
# it listens on a free loopback port and a socket inside DIR only.
set -euo pipefail

bin=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
[ -x "$bin/initdb" ] || { echo "PostgreSQL ontbreekt (pakket postgresql)" >&2; exit 1; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start() {
  local dir=$1 port
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown nobody: "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U taviro --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; exit 1; }
  port=$(free_port)
  echo "$port" >"$dir/port"
  launch "$dir"
  echo "postgresql://taviro@127.0.0.1:$port/postgres"
}

launch() {
  local dir=$1 port
  port=$(cat "$dir/port")
  # Durability is not what the tests are about; fsync off spares the disk
  # that other test runs share. Benchmarks set PG_FSYNC=on to compare fairly
  # with SQLite's synchronous=FULL.
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=${PG_FSYNC:-off} -c max_connections=200" start >/dev/null \
    || { cat "$dir/server.log" >&2; exit 1; }
}

kill_server() {
  as_owner "$bin/pg_ctl" -D "$1/data" -m immediate -w stop >/dev/null
}

stop() {
  local dir=$1
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

case "${1:-}" in
start) start "$2" ;;
stop) stop "$2" ;;
kill) kill_server "$2" ;;
resume) launch "$2" ;;
run)
  shift
  dir=$(mktemp -d /tmp/taviro-pg.XXXXXX)
  trap 'stop "$dir"' EXIT
  url=$(start "$dir")
  TAVIRO_TEST_DATABASE=$url "$@"
  ;;
*)
  echo "gebruik: $0 start DIR | stop DIR | kill DIR | resume DIR | run COMMANDO..." >&2
  exit 2
  ;;
esac
