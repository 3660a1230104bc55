#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo database on the first run (a SQLite file in
# data/), registers the component and serves the demo agenda site on http://localhost:8080/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVAN_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

data="$root/data"
mkdir -p "$data"
if [ ! -f "$data/agenda.db" ]; then
    ./build/tools/orvan init-db "Provider=SQLite;Data Source=$data/agenda.db" --demo
fi
if [ ! -f "$data/orvan.json" ]; then
    cat > "$data/orvan.json" <<JSON
{
  "application": {
    "dataconn_ConnectionString": "Provider=SQLite;Data Source=$data/agenda.db",
    "dataconn_ConnectionTimeout": 15,
    "dataconn_CommandTimeout": 30
  },
  "locale": "pt-BR",
  "eventlog": "file:$data/events.jsonl",
  "registry": "$data/registry"
}
JSON
fi
./build/tools/orvan regsvr --registry "$data/registry" >/dev/null
echo "Agenda Orvan: http://localhost:8080/  (demo user: ana, password: ana123)"
exec ./build/tools/orvan serve --config "$data/orvan.json" --root "$root/site" --listen 127.0.0.1:8080
