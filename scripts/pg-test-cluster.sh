#!/bin/bash
# A private PostgreSQL/PostGIS cluster for the tests and the benchmarks, in a
# temporary directory, listening on 127.0.0.1 on a free port only, never the
# machine's own cluster. The connection facts go into a file that the tests
# read; stopping the cluster removes the directory and that file.
#
#   bash scripts/pg-test-cluster.sh start FILE    start a cluster, write FILE
#   bash scripts/pg-test-cluster.sh stop FILE     stop the cluster FILE names
#
# FILE holds one key=value a line (no quoting; lines starting with # are
# comments):
#   host, port        127.0.0.1 and the port the server listens on (TCP)
#   user, password    a login role that must give its password (scram-sha-256)
#   dbname            a database with PostGIS, owned by user
#   template          the PostGIS database that CREATE DATABASE copies by
#                     default (template1); nobody may stay connected to it
#   nopostgis_dbname  a database without PostGIS, owned by user
#   superuser         a superuser reachable without password, and only over
#                     the unix socket in socket_dir
#   socket_dir, data_dir, bindir   where the socket, the data and the
#                     server's programs are
#
# As root the server runs as the postgres system user (PostgreSQL refuses to
# run as root); otherwise as the current user. Starting with FILE present
# stops the cluster it names first, so a run killed half-way leaves nothing
# that blocks the next one.
set -euo pipefail

readonly TEST_ROLE=spoolmap
readonly TEST_DB=spoolmap
readonly TEMPLATE_DB=template1
readonly NOPOSTGIS_DB=spoolmap_plain
readonly SUPERUSER=postgres
readonly DIR_PREFIX=/tmp/spoolmap-pg.
readonly PORT_ATTEMPTS=5

die() {
  echo "pg-test-cluster: $*" >&2
  exit 1
}

# The server's programs: PG_BINDIR if set, else PostgreSQL 15 as Debian
# installs it, else the newest installed major version. Not PATH: initdb
# there may be something else.
find_bindir() {
  if [ -n "${PG_BINDIR:-}" ]; then
    echo "$PG_BINDIR"
    return
  fi
  local candidate
  for candidate in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then
      echo "$candidate"
      return
    fi
  done
  die "no PostgreSQL server programs (initdb, pg_ctl) under /usr/lib/postgresql; run scripts/install-deps.sh"
}

# Runs a command as the owner of the cluster.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# Prints the value of key in a connection file.
fact() {
  sed -n "s/^$2=//p" "$1" | head -n 1
}

free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

stop_cluster() {
  local file=$1
  if [ ! -f "$file" ]; then
    echo "== No test cluster recorded in $file"
    return 0
  fi
  local bindir data_dir socket_dir
  bindir=$(fact "$file" bindir)
  data_dir=$(fact "$file" data_dir)
  socket_dir=$(fact "$file" socket_dir)
  # The file names what gets removed: only ever a directory this script made.
  case "$socket_dir" in
    "$DIR_PREFIX"*) ;;
    *) die "$file names $socket_dir, not a test cluster directory; remove it by hand" ;;
  esac
  # A server that died leaves its pid file behind: only a running one is stopped.
  if [ -f "$data_dir/postmaster.pid" ] &&
    (cd "$socket_dir" && as_owner "$bindir/pg_ctl" -D "$data_dir" status >/dev/null); then
    # Immediate: the data is thrown away, so there is nothing to flush.
    (cd "$socket_dir" && as_owner "$bindir/pg_ctl" -D "$data_dir" -m immediate -w stop >/dev/null) ||
      die "could not stop the cluster in $data_dir (log: $socket_dir/server.log)"
  fi
  rm -rf "$socket_dir"
  rm -f "$file"
  echo "== Stopped the test cluster and removed $socket_dir"
}

# Writes the server settings for port: loopback only, socket in our own
# directory, and durability off since the data lives as long as one run.
configure() {
  local data_dir=$1 socket_dir=$2 port=$3
  cat >"$data_dir/postgresql.auto.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$socket_dir'
max_connections = 60
shared_buffers = 32MB
fsync = off
synchronous_commit = off
full_page_writes = off
password_encryption = 'scram-sha-256'
EOF
  cat >"$data_dir/pg_hba.conf" <<EOF
local all all trust
host all all 127.0.0.1/32 scram-sha-256
EOF
}

superuser_sql() {
  local socket_dir=$1 port=$2 database=$3
  "$bindir/psql" -X -q -v ON_ERROR_STOP=1 -h "$socket_dir" -p "$port" -U "$SUPERUSER" -d "$database" >/dev/null
}

start_cluster() {
  local file=$1
  stop_cluster "$file" >/dev/null
  # Globals, for the clean-up trap and superuser_sql.
  bindir=$(find_bindir)
  dir=$(mktemp -d "${DIR_PREFIX}XXXXXX")
  data_dir=$dir/data
  # Until the facts are written, a failure removes what was made.
  trap 'if [ -f "$data_dir/postmaster.pid" ]; then as_owner "$bindir/pg_ctl" -D "$data_dir" -m immediate stop >/dev/null 2>&1 || true; fi; rm -rf "$dir"' EXIT
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || die "no postgres system user; install postgresql-15 (scripts/install-deps.sh)"
    chown postgres:postgres "$dir"
  fi
  chmod 700 "$dir"
  cd "$dir"

  as_owner "$bindir/initdb" -D "$data_dir" -U "$SUPERUSER" -A trust -E UTF8 --locale=C --no-sync \
    >"$dir/initdb.log" 2>&1 || die "initdb failed: $(tail -n 5 "$dir/initdb.log")"

  local port="" attempt
  for attempt in $(seq 1 "$PORT_ATTEMPTS"); do
    port=$(free_port)
    configure "$data_dir" "$dir" "$port"
    if as_owner "$bindir/pg_ctl" -D "$data_dir" -l "$dir/server.log" -w -t 60 start >/dev/null; then
      break
    fi
    # Another process may have taken the port between the probe and the start.
    port=""
  done
  [ -n "$port" ] || die "the server did not start after $PORT_ATTEMPTS attempts: $(tail -n 5 "$dir/server.log")"

  local password
  password=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
  superuser_sql "$dir" "$port" postgres <<EOF || die "could not create the test role and databases (log: $dir/server.log)"
CREATE ROLE $TEST_ROLE LOGIN PASSWORD '$password';
CREATE DATABASE $NOPOSTGIS_DB OWNER $TEST_ROLE TEMPLATE template0;
\connect $TEMPLATE_DB
CREATE EXTENSION postgis;
EOF
  # A call of its own: the copy needs every session on the template closed.
  superuser_sql "$dir" "$port" postgres <<EOF || die "could not copy the PostGIS database (log: $dir/server.log)"
CREATE DATABASE $TEST_DB OWNER $TEST_ROLE TEMPLATE $TEMPLATE_DB;
EOF

  mkdir -p "$(dirname "$file")"
  (
    umask 077
    cat >"$file.partial" <<EOF
# A private PostgreSQL test cluster: written by scripts/pg-test-cluster.sh
# start, removed by its stop.
host=127.0.0.1
port=$port
user=$TEST_ROLE
password=$password
dbname=$TEST_DB
template=$TEMPLATE_DB
nopostgis_dbname=$NOPOSTGIS_DB
superuser=$SUPERUSER
socket_dir=$dir
data_dir=$data_dir
bindir=$bindir
EOF
  )
  mv "$file.partial" "$file"
  trap - EXIT
  echo "== Test cluster on 127.0.0.1:$port in $dir (facts in $file)"
}

case "${1:-}:${2:-}" in
  start:?*) start_cluster "$(realpath -m "$2")" ;;
  stop:?*) stop_cluster "$(realpath -m "$2")" ;;
  *) die "usage: pg-test-cluster.sh start|stop FILE" ;;
esac
