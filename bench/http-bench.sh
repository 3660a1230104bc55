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

work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/site"
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

"$orvan" serve --config "$work/orvan.json" >"$work/serve.out" 2>"$work/serve.err" &
server=$!
for _ in $(seq 100); do
    grep -q "listening on" "$work/serve.out" 2>/dev/null && break
    sleep 0.1
done
url=$(sed -n 's/^orvan serve: listening on \(http:[^ ]*\) .*/\1/p' "$work/serve.out")
[ -n "$url" ] || { cat "$work/serve.err" >&2; exit 1; }

# 64 sessions, their cookies handed to wrk's requests in turn.
{
    echo "local cookies = {"
    for _ in $(seq 64); do
        curl -s -o /dev/null -D - "${url}text.asp" | sed -n 's/^Set-Cookie: \(ORVANSESSIONID=[0-9a-f]*\).*/  "\1",/p'
    done
    echo "}"
    echo "local n = 0"
    echo "request = function()"
    echo "  n = n + 1"
    echo "  return wrk.format(nil, nil, {Cookie = cookies[n % #cookies + 1]})"
    echo "end"
} >"$work/sessions.lua"

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
