#!/bin/sh
# A private PostgreSQL server for the tests and benchmarks, on 127.0.0.1 only.
#   sh scripts/pg-server.sh start DIR [PORT]   prints the server's URL
#   sh scripts/pg-server.sh stop DIR
#   sh scripts/pg-server.sh halt DIR           stops it keeping DIR: start it again
#                                              with the same DIR and PORT
# The server runs as a non-root user (postgres when started by root, else the
# caller) with its data, socket and log in DIR. The role "trapezon" logs in
# with the password in DIR/password and may create databases, so that every
# test can make its own.
set -e
cmd=$1 dir=$2 port=${3:-54329}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|halt DIR [PORT]" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server not installed (postgresql-15)" >&2; exit 1; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case $cmd in
start)
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    as_owner sh -c "umask 077; echo trapezon-test > '$dir/password'"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
      -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  fi
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=on -c max_connections=200" start >/dev/null \
    || { cat "$dir/server.log" >&2; exit 1; }
  pass=$(cat "$dir/password")
  as_owner "$bin/psql" -q -h "$dir" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 >/dev/null <<SQL
DO \$\$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'trapezon') THEN
    CREATE ROLE trapezon LOGIN CREATEDB PASSWORD '$pass';
  END IF;
END \$\$;
SQL
  echo "postgresql://trapezon@127.0.0.1:$port/postgres"
  ;;
stop)
  [ -f "$dir/data/postmaster.pid" ] && as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  rm -rf "$dir"
  ;;
halt)
  # As a server restart or crash meets its clients: their connections end.
  as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  ;;
*)
  echo "usage: $0 start|stop|halt DIR [PORT]" >&2; exit 2 ;;
esac
