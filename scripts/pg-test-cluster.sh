#!/bin/bash
# A private PostgreSQL/PostGIS cluster for the tests and the benchmarks, in a
# temporary directory, listening on 127.0.0.1 on a free port only, never the
# machine's own cluster. The connection facts go into a file that the tests
# read; stopping the cluster removes the directory and that file.
#
#   bash scripts/pg-test-cluster.sh start FILE    start a cluster, write FILE
#   bash scripts/pg-test-cluster.sh stop FILE     stop the cluster FILE names
#   bash scripts/pg-test-cluster.sh standby FILE  start a streaming hot standby
#                                                 of it, print its port
#   bash scripts/pg-test-cluster.sh standby-stop FILE   stop that standby
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
#   money3_locale     a locale the server knows whose money has three digits
#                     after the point (compiled into socket_dir/locales)
#
# The standby is a copy of the cluster (pg_basebackup -R) in
# socket_dir/standby, streaming from it, on a port of its own on 127.0.0.1;
# the cluster's stop stops it too.
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
# Kuwait's dinar has three digits after the point.
readonly MONEY3_LOCALE=ar_KW.UTF-8

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

# Stops the server of data_dir if one runs there.
stop_server() {
  local bindir=$1 data_dir=$2 socket_dir=$3
  if [ -f "$data_dir/postmaster.pid" ] &&
    (cd "$socket_dir" && as_owner "$bindir/pg_ctl" -D "$data_dir" status >/dev/null); then
    (cd "$socket_dir" && as_owner "$bindir/pg_ctl" -D "$data_dir" -m immediate -w stop >/dev/null) ||
      die "could not stop the server in $data_dir"
  fi
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
  stop_server "$bindir" "$socket_dir/standby" "$socket_dir"
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
local replication all trust
host all all 127.0.0.1/32 scram-sha-256
EOF
}

# Starts the server of data_dir (with the cluster's own locales) and waits
# until it takes connections.
start_server() {
  as_owner env LOCPATH="$dir/locales" "$bindir/pg_ctl" -D "$1" -l "$2" -w -t 60 start >/dev/null
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

  as_owner mkdir "$dir/locales"
  as_owner localedef -i "${MONEY3_LOCALE%%.*}" -f UTF-8 "$dir/locales/$MONEY3_LOCALE" \
    >"$dir/localedef.log" 2>&1 || die "localedef failed: $(tail -n 5 "$dir/localedef.log")"

  local port="" attempt
  for attempt in $(seq 1 "$PORT_ATTEMPTS"); do
    port=$(free_port)
    configure "$data_dir" "$dir" "$port"
    if start_server "$data_dir" "$dir/server.log"; then
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
money3_locale=$MONEY3_LOCALE
EOF
  )
  mv "$file.partial" "$file"
  trap - EXIT
  echo "== Test cluster on 127.0.0.1:$port in $dir (facts in $file)"
}

# A streaming hot standby of the cluster FILE names, from a base backup;
# prints its port once it accepts read-only sessions.
start_standby() {
  local file=$1
  [ -f "$file" ] || die "no test cluster recorded in $file"
  bindir=$(fact "$file" bindir)
  dir=$(fact "$file" socket_dir)
  local port primary_port standby=$dir/standby
  primary_port=$(fact "$file" port)
  stop_server "$bindir" "$standby" "$dir"
  rm -rf "$standby"
  cd "$dir"
  as_owner "$bindir/pg_basebackup" -h "$dir" -p "$primary_port" -U "$SUPERUSER" -D "$standby" \
    -R -X stream -c fast --no-sync >"$dir/basebackup.log" 2>&1 ||
    die "pg_basebackup failed: $(tail -n 5 "$dir/basebackup.log")"
  for attempt in $(seq 1 "$PORT_ATTEMPTS"); do
    port=$(free_port)
    # Later lines win over the copy's settings of the primary.
    echo "port = $port" | as_owner tee -a "$standby/postgresql.auto.conf" >/dev/null
    if start_server "$standby" "$dir/standby.log"; then
      echo "$port"
      return
    fi
  done
  die "the standby did not start: $(tail -n 5 "$dir/standby.log")"
}

stop_standby() {
  local file=$1
  [ -f "$file" ] || return 0
  local socket_dir
  socket_dir=$(fact "$file" socket_dir)
  stop_server "$(fact "$file" bindir)" "$socket_dir/standby" "$socket_dir"
  rm -rf "$socket_dir/standby"
}

case "${1:-}:${2:-}" in
  start:?*) start_cluster "$(realpath -m "$2")" ;;
  stop:?*) stop_cluster "$(realpath -m "$2")" ;;
  standby:?*) start_standby "$(realpath -m "$2")" ;;
  standby-stop:?*) stop_standby "$(realpath -m "$2")" ;;
  *) die "usage: pg-test-cluster.sh start|stop|standby|standby-stop FILE" ;;
esac
