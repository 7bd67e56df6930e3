#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks of the shared
# (multi-station) database.
#   pg-test-server.sh start DIR   starts a server in DIR and prints its URL
#   pg-test-server.sh stop DIR    stops it and removes DIR
#   pg-test-server.sh kill DIR    stops it at once, as a crash would; keeps DIR
#   pg-test-server.sh resume DIR  starts a killed server again, same port
#   pg-test-server.sh standby DIR PRIMARY
#                                 makes DIR a streaming standby of the server
#                                 in PRIMARY, started and caught up; commits
#                                 on PRIMARY then wait for it (synchronous)
#   pg-test-server.sh promote DIR makes the standby in DIR the primary
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

# A replicated pair as a control room would run one: the standby is a copy
# of the primary's files that keeps applying the primary's log. Synchronous,
# so a report the primary has committed is on the standby too when the
# primary dies.
standby() {
  local dir=$1 primary=$2 pport port
  pport=$(cat "$primary/port")
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown nobody: "$dir"
  as_owner "$bin/pg_basebackup" -h 127.0.0.1 -p "$pport" -U taviro -D "$dir/data" -R -X stream \
    >"$dir/basebackup.log" 2>&1 || { cat "$dir/basebackup.log" >&2; exit 1; }
  port=$(free_port)
  echo "$port" >"$dir/port"
  launch "$dir"
  local i
  for i in $(seq 1 100); do
    if [ "$(sql "$primary" "SELECT count(*) FROM pg_stat_replication WHERE state = 'streaming'")" = 1 ]; then
      sql "$primary" "ALTER SYSTEM SET synchronous_standby_names = '*'" >/dev/null
      sql "$primary" "SELECT pg_reload_conf()" >/dev/null
      return 0
    fi
    sleep 0.1
  done
  echo "de standby volgt de primaire server niet" >&2
  cat "$dir/server.log" >&2
  exit 1
}

promote() {
  as_owner "$bin/pg_ctl" -D "$1/data" -w -t 60 promote >/dev/null
}

sql() {
  as_owner "$bin/psql" -X -A -t -q -h 127.0.0.1 -p "$(cat "$1/port")" -U taviro -d postgres -c "$2"
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
standby) standby "$2" "$3" ;;
promote) promote "$2" ;;
run)
  shift
  dir=$(mktemp -d /tmp/taviro-pg.XXXXXX)
  trap 'stop "$dir"' EXIT
  url=$(start "$dir")
  TAVIRO_TEST_DATABASE=$url "$@"
  ;;
*)
  echo "gebruik: $0 start DIR | stop DIR | kill DIR | resume DIR | standby DIR PRIMAIR | promote DIR | run COMMANDO..." >&2
  exit 2
  ;;
esac
