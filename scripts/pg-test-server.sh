#!/usr/bin/env bash
# A private PostgreSQL 15 server for the tests, kept entirely inside one folder: its data, its unix
# socket and its log. Trust authentication, fsync off, listening on 127.0.0.1 at a free port.
#
#   eval "$(scripts/pg-test-server.sh start DIR)"   start (or find running) and print the exports
#   scripts/pg-test-server.sh env DIR               print the exports of a running server
#   scripts/pg-test-server.sh stop DIR              stop it (the folder stays; remove it yourself)
#
# The exports: ORVAN_TEST_PG (the connection string the tests read) and ORVAN_TEST_PG_DIR.
# Only the export lines go to stdout; progress and errors go to stderr, and any failure exits non-zero.
set -euo pipefail

PGBIN=${PGBIN:-/usr/lib/postgresql/15/bin}
DB_NAME=orvan_test
DB_USER=orvan

die() {
    echo "pg-test-server: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start|stop|env DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
cmd=$1
dir=$2
[ -n "$dir" ] || usage
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
data="$dir/pg/data"
sock="$dir/pg/sock"
log="$dir/pg/server.log"

# The server refuses to run as root; as root (CI) everything runs as an unprivileged account that
# owns the folder.
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    if id postgres >/dev/null 2>&1; then
        account=postgres
    else
        account=nobody
    fi
    run_as=(runuser -u "$account" --)
fi
as_server() { "${run_as[@]}" "$@"; }

running() {
    [ -f "$data/postmaster.pid" ] && as_server "$PGBIN/pg_ctl" -D "$data" status >/dev/null 2>&1
}

port_of() { cat "$dir/port"; }

print_env() {
    local port
    port=$(port_of)
    echo "export ORVAN_TEST_PG='Provider=PostgreSQL;Host=127.0.0.1;Port=$port;Database=$DB_NAME;User ID=$DB_USER'"
    echo "export ORVAN_TEST_PG_DIR='$dir'"
}

# A port nothing listens on now (a race with another process remains; start retries on failure).
free_port() {
    local p
    for _ in $(seq 1 50); do
        p=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return 0
        fi
    done
    die "found no free port"
}

start() {
    [ -x "$PGBIN/initdb" ] || die "$PGBIN/initdb not found (install postgresql-15)"
    if running; then
        print_env
        return 0
    fi
    # A unix socket path is limited to about 107 bytes.
    [ ${#sock} -lt 100 ] || die "folder path too long for a unix socket: $sock"
    mkdir -p "$sock"
    if [ ${#run_as[@]} -gt 0 ]; then
        chown "$account" "$dir"
        chown -R "$account" "$dir/pg"
        as_server test -w "$dir/pg" || die "$account cannot reach $dir (a parent folder closed to it?)"
    fi
    if [ ! -f "$data/PG_VERSION" ]; then
        echo "pg-test-server: initdb in $data" >&2
        as_server "$PGBIN/initdb" -D "$data" -U "$DB_USER" --auth=trust -E UTF8 --locale=C.UTF-8 \
            --no-sync >"$dir/pg/initdb.log" 2>&1 || {
            cat "$dir/pg/initdb.log" >&2
            die "initdb failed"
        }
        cat >"$data/pg_hba.conf" <<EOF
local all all trust
host all all 127.0.0.1/32 trust
host all all ::1/128 trust
EOF
        cat >>"$data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$sock'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 50
lc_messages = 'C'
EOF
        if [ ${#run_as[@]} -gt 0 ]; then
            chown "$account" "$data/pg_hba.conf" "$data/postgresql.conf"
        fi
    fi
    local started=0 port
    for _ in 1 2 3; do
        port=$(free_port)
        echo "pg-test-server: starting on port $port" >&2
        if as_server "$PGBIN/pg_ctl" -D "$data" -l "$log" -w -t 60 -o "-p $port" start >&2; then
            started=1
            break
        fi
    done
    if [ $started -ne 1 ]; then
        tail -n 30 "$log" >&2 || true
        die "the server did not start (log: $log)"
    fi
    echo "$port" >"$dir/port"
    if ! as_server "$PGBIN/psql" -h "$sock" -p "$port" -U "$DB_USER" -d postgres -v ON_ERROR_STOP=1 -qAt \
        -c "SELECT 1 FROM pg_database WHERE datname = '$DB_NAME'" | grep -q 1; then
        as_server "$PGBIN/createdb" -h "$sock" -p "$port" -U "$DB_USER" "$DB_NAME" >&2 ||
            die "could not create the database $DB_NAME"
    fi
    print_env
}

stop() {
    if running; then
        as_server "$PGBIN/pg_ctl" -D "$data" -m fast -w stop >&2 || die "the server did not stop"
    else
        echo "pg-test-server: no server running in $dir" >&2
    fi
}

case "$cmd" in
    start) start ;;
    stop) stop ;;
    env)
        running || die "no server running in $dir"
        print_env
        ;;
    *) usage ;;
esac
