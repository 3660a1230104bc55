#!/usr/bin/env bash
# The browser test: a fresh demo database, the site served by `orvan serve` from the given build, and
# Debian's Chromium driven through it by playwright-core. Usage: scripts/browser-test.sh BUILD_DIR
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

"$orvan" init-db "Provider=SQLite;Data Source=$work/agenda.db" --demo >/dev/null
cat > "$work/orvan.json" <<JSON
{"application": {"dataconn_ConnectionString": "Provider=SQLite;Data Source=$work/agenda.db",
                 "dataconn_ConnectionTimeout": 15, "dataconn_CommandTimeout": 30},
 "locale": "pt-BR", "eventlog": "file:$work/events.jsonl", "registry": "$work/registry"}
JSON
"$orvan" regsvr --registry "$work/registry" >/dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$orvan" serve --config "$work/orvan.json" --root "$root/site" --listen "127.0.0.1:$port" --access-log "$work/access.log" &
server=$!
for _ in $(seq 1 100); do
    if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; then break; fi
    sleep 0.1
done

mkdir -p "$root/$build/screenshots"
ORVAN_BASE_URL="http://127.0.0.1:$port" ORVAN_DB="$work/agenda.db" ORVAN_SCREENSHOT_DIR="$root/$build/screenshots" \
    node --test tests/browser/agenda.test.js
echo "browser-test: screenshot in $build/screenshots/agenda-tarefa.png"
