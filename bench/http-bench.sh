#!/usr/bin/env bash
# Throughput of `orvan serve` on loopback, measured with wrk against a small site made for the run:
#   text.asp    a text-only page (a few lines of HTML written by one expression), requests spread over
#               64 sessions made beforehand, as returning users would send them
#   text.asp    the same page with no cookie: every request starts (and leaves behind) a new session
#   hello.txt   a static file of the same size, the server's floor
# Usage: bench/http-bench.sh [ORVAN-BINARY] (default build/tools/orvan; build it with
# -DCMAKE_BUILD_TYPE=Release or RelWithDebInfo first). Needs wrk: scripts/install-deps.sh --bench.
# DURATION, CONNECTIONS and THREADS (wrk's) may be set in the environment.
set -euo pipefail
cd "$(dirname "$0")/.."
orvan=${1:-build/tools/orvan}
duration=${DURATION:-10s}
connections=${CONNECTIONS:-16}
threads=${THREADS:-2}
command -v wrk >/dev/null || { echo "wrk is missing: bash scripts/install-deps.sh --bench" >&2; exit 2; }
[ -x "$orvan" ] || { echo "$orvan is missing: build the orvan command first" >&2; exit 2; }

source bench/bench-common.sh
bench_workdir
cat >"$work/site/text.asp" <<'EOF'
<!DOCTYPE html>
<html><head><title>Agenda</title></head>
<body>
<h1>Agenda Orvan</h1>
<p>Hoje é <%= "dia de trabalho" %>.</p>
<ul><li>Reportagem de capa</li><li>Anúncio de página inteira</li></ul>
</body></html>
EOF
cp "$work/site/text.asp" "$work/site/hello.txt"
cat >"$work/orvan.json" <<EOF
{"eventlog": "file:$work/events.log", "server": {"root": "$work/site", "listen": "127.0.0.1:0",
 "accessLog": "$work/access.log", "threads": 4}}
EOF

bench_serve "$orvan" "$work/orvan.json"

bench_sessions_lua "${url}text.asp" "$work/sessions.lua"

echo "orvan serve at $url, wrk -t$threads -c$connections -d$duration, $(nproc) cores"
echo
echo "== text.asp, 64 sessions"
wrk -t"$threads" -c"$connections" -d"$duration" -s "$work/sessions.lua" "${url}text.asp"
echo
echo "== text.asp, no cookie (a new session per request)"
wrk -t"$threads" -c"$connections" -d"$duration" "${url}text.asp"
echo
echo "== hello.txt (static file, same size)"
wrk -t"$threads" -c"$connections" -d"$duration" "${url}hello.txt"
