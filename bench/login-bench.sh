#!/usr/bin/env bash
# Requests per second for a login page served by `orvan serve` (a real Geral.Login and
# Finalizar_Sessao_Uso per request) on the demo database, on SQLite and, when ORVAN_TEST_PG names a
# server, on PostgreSQL; compare with BM_LoginCycle of build-bench/bench/call_bench, the same
# calls made in-process. Usage: bench/login-bench.sh [ORVAN-BINARY]. Needs wrk.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
orvan=${1:-build/tools/orvan}
duration=${DURATION:-10s}
command -v wrk >/dev/null || { echo "wrk is missing: bash scripts/install-deps.sh --bench" >&2; exit 2; }

source bench/bench-common.sh
bench_workdir
cat > "$work/site/login.asp" <<'ASP'
<%@ Language=JScript %><% var g = Server.CreateObject("Orvan_Geral.Geral");
var r = g.Login("ana", "ana123", "BENCH");
g.Finalizar_Sessao_Uso(r[8]);
Response.Write("ok " + r[1]); %>
ASP
"$orvan" regsvr --registry "$work/registry" >/dev/null

run() {  # name connection-string
    cat > "$work/orvan.json" <<JSON
{"application": {"dataconn_ConnectionString": "$2", "dataconn_CommandTimeout": 30},
 "eventlog": "file:$work/events.jsonl", "registry": "$work/registry"}
JSON
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$orvan" serve --config "$work/orvan.json" --root "$work/site" --listen "127.0.0.1:$port" --access-log /dev/null >/dev/null &
    server=$!
    sleep 1
    curl -fs "http://127.0.0.1:$port/login.asp" | grep -q "ok Ana Souza" || { echo "the login page failed" >&2; exit 1; }
    echo "== login page, $1"
    wrk -t2 -c8 -d"$duration" "http://127.0.0.1:$port/login.asp" | grep -E "Requests/sec|Latency|Non-2xx"
    kill -TERM "$server"; wait "$server" || true; server=""
}

"$orvan" init-db "Provider=SQLite;Data Source=$work/agenda.db" --demo >/dev/null
run sqlite "Provider=SQLite;Data Source=$work/agenda.db"
if [ -n "${ORVAN_TEST_PG:-}" ]; then
    schema="loginbench_$$"
    psql_cs="$ORVAN_TEST_PG"
    python3 - "$psql_cs" "$schema" <<'PY'
import sys, subprocess
cs = dict(p.split("=", 1) for p in sys.argv[1].split(";") if p)
cs = {k.lower(): v for k, v in cs.items()}
subprocess.run(["psql", "-h", cs["host"], "-p", cs["port"], "-U", cs["user id"], "-d", cs["database"], "-qc",
                f"CREATE SCHEMA {sys.argv[2]}"], check=True)
PY
    "$orvan" init-db "$psql_cs;Search Path=$schema" --demo >/dev/null
    run postgresql "$psql_cs;Search Path=$schema"
fi
