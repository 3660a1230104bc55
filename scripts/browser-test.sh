#!/usr/bin/env bash
# The browser test: a fresh demo database, the site served by `orvan serve` from the given build, and
# Debian's Chromium driven through it by playwright-core; on SQLite, then, when ORVAN_TEST_PG names the
# private PostgreSQL server (scripts/pg-test-server.sh), once more on a schema of its own there.
# Usage: scripts/browser-test.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
orvan="$root/$build/tools/orvan"

[ -x /usr/bin/chromium ] || { echo "browser-test: /usr/bin/chromium is missing (scripts/install-deps.sh --tests)" >&2; exit 1; }
(cd tests/browser && npm ci --no-audit --no-fund --silent)

work=$(mktemp -d /tmp/orvan-browser.XXXXXX)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$orvan" regsvr --registry "$work/registry" >/dev/null
mkdir -p "$root/$build/screenshots"

# Serves the site on connection string $2 and runs the test; $1 names the run, the rest are the
# test's environment (how it reads the database).
run_site() {
    local name=$1 connection=$2
    shift 2
    cat > "$work/orvan.json" <<JSON
{"application": {"dataconn_ConnectionString": "$connection",
                 "dataconn_ConnectionTimeout": 15, "dataconn_CommandTimeout": 30},
 "locale": "pt-BR", "eventlog": "file:$work/events.jsonl", "registry": "$work/registry"}
JSON
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$orvan" serve --config "$work/orvan.json" --root "$root/site" --listen "127.0.0.1:$port" \
        --access-log "$work/access-$name.log" &
    server=$!
    for _ in $(seq 1 100); do
        if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; then break; fi
        sleep 0.1
    done
    echo "browser-test: $name"
    env "$@" ORVAN_BASE_URL="http://127.0.0.1:$port" ORVAN_SCREENSHOT_DIR="$root/$build/screenshots" \
        node --test tests/browser/agenda.test.js
    kill "$server" && wait "$server" || true
    server=""
}

"$orvan" init-db "Provider=SQLite;Data Source=$work/agenda.db" --demo >/dev/null
run_site sqlite "Provider=SQLite;Data Source=$work/agenda.db" ORVAN_DB="$work/agenda.db"

if [ -n "${ORVAN_TEST_PG:-}" ]; then
    # The server's connection string as psql's arguments, and a schema of this run's own.
    schema="browser_$$"
    pgjson=$(python3 - "$ORVAN_TEST_PG" "$schema" <<'PY'
import json, sys
parts = dict(p.split("=", 1) for p in sys.argv[1].split(";") if "=" in p)
parts = {k.strip().lower(): v for k, v in parts.items()}
print(json.dumps({"host": parts["host"], "port": parts["port"], "user": parts["user id"],
                  "database": parts["database"], "schema": sys.argv[2]}))
PY
)
    read -r pghost pgport pguser pgdb < <(python3 -c 'import json,sys; c=json.loads(sys.argv[1]); print(c["host"], c["port"], c["user"], c["database"])' "$pgjson")
    psql -h "$pghost" -p "$pgport" -U "$pguser" -d "$pgdb" -qc "CREATE SCHEMA $schema"
    "$orvan" init-db "$ORVAN_TEST_PG;Search Path=$schema" --demo >/dev/null
    run_site postgresql "$ORVAN_TEST_PG;Search Path=$schema" ORVAN_PG="$pgjson"
    psql -h "$pghost" -p "$pgport" -U "$pguser" -d "$pgdb" -qc "SET client_min_messages = warning; DROP SCHEMA $schema CASCADE"
fi
echo "browser-test: screenshot in $build/screenshots/agenda-tarefa.png"
