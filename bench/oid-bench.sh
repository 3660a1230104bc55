#!/usr/bin/env bash
# Gerar_Oid's procedure from several processes at once, this tree's build beside another tree's (a
# checkout of the commit to compare with, built the same way), on a fresh SQLite file each and, with
# ORVAN_TEST_PG set, on PostgreSQL: ids/s, the 99th-percentile call time and duplicates. The other tree
# is built with oid_bench.cpp compiled against its own headers and libraries (the provider interface is
# the same).
#   bash bench/oid-bench.sh BUILD-BENCH OTHER-TREE [OTHER-BUILD] [PROCESSES] [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: oid-bench.sh BUILD-BENCH OTHER-TREE [OTHER-BUILD] [PROCESSES] [SECONDS]"
build=${1:?$usage}
other=${2:?$usage}
otherBuild=${3:-$other/build-bench}
processes=${4:-4}
seconds=${5:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The other tree's oid_bench: this source, its headers, its libraries.
g++ -std=c++20 -O2 -I"$other" "$here/bench/oid_bench.cpp" -o "$work/oid_bench_other" \
    -L"$otherBuild/data_access" -L"$otherBuild/com_server" -lorvan_data -lorvan_com \
    -Wl,-rpath,"$otherBuild/data_access:$otherBuild/com_server"

run() {  # label binary
    grep -v '^CREATE INDEX' "$here/schema/sqlite.sql" | sqlite3 "$work/$1.db"
    printf '%-6s ' "$1"; "$2" sqlite "$work/$1.db" "$processes" "$seconds"
    if [ -n "${ORVAN_TEST_PG:-}" ]; then
        printf '%-6s ' "$1"; "$2" postgresql "$ORVAN_TEST_PG;Search Path=oidbench_$1_$$" "$processes" "$seconds"
    fi
}
if [ -n "${ORVAN_TEST_PG:-}" ]; then
    for label in other this; do
        psql "$(echo "$ORVAN_TEST_PG" | sed -E 's/.*Host=([^;]*);Port=([^;]*);Database=([^;]*);User ID=([^;]*).*/host=\1 port=\2 dbname=\3 user=\4/')" -q \
            -c "CREATE SCHEMA oidbench_${label}_$$" \
            -c "SET search_path TO oidbench_${label}_$$" -f <(grep -v '^CREATE INDEX' "$here/schema/postgresql.sql") >/dev/null
    done
fi
run other "$work/oid_bench_other"
run this "$build/bench/oid_bench"
# This build with the SQLite setting that gives up durability across a power loss for speed.
grep -v '^CREATE INDEX' "$here/schema/sqlite.sql" | sqlite3 "$work/normal.db"
printf '%-6s ' "this, Synchronous=Normal"
"$build/bench/oid_bench" sqlite "Provider=SQLite;Data Source=$work/normal.db;Synchronous=Normal" "$processes" "$seconds"
if [ -n "${ORVAN_TEST_PG:-}" ]; then
    for label in other this; do
        psql "$(echo "$ORVAN_TEST_PG" | sed -E 's/.*Host=([^;]*);Port=([^;]*);Database=([^;]*);User ID=([^;]*).*/host=\1 port=\2 dbname=\3 user=\4/')" -q \
            -c "DROP SCHEMA oidbench_${label}_$$ CASCADE" >/dev/null
    done
fi
