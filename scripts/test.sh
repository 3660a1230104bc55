#!/usr/bin/env bash
# Installs what is missing, builds the project twice (plain, and with AddressSanitizer +
# UndefinedBehaviorSanitizer) with warnings as errors, starts a private PostgreSQL server for the tests,
# runs every test on both builds, then builds the Debian package from the plain build and tests it
# installed in a scratch root. Fails if any step fails; the PostgreSQL server is stopped whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh --tests

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVAN_TESTS=ON -DORVAN_WERROR=ON \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVAN_SANITIZE=ON -DORVAN_TESTS=ON -DORVAN_WERROR=ON \
      >/dev/null
cmake --build build-asan -j "$jobs"

pgdir=$(mktemp -d /tmp/orvan-pg.XXXXXX)
cleanup() { bash "$root/scripts/pg-test-server.sh" stop "$pgdir" || true; rm -rf "$pgdir"; }
trap cleanup EXIT
bash scripts/pg-test-server.sh start "$pgdir"
eval "$(bash scripts/pg-test-server.sh env "$pgdir")"
: "${ORVAN_TEST_PG:?the private PostgreSQL server did not give its connection string}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j "$jobs"
echo "== tests (sanitizer build)"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
echo "== browser test (plain build)"
bash scripts/browser-test.sh build
echo "== Debian package (plain build)"
bash scripts/package-test.sh build
echo "== all tests passed"
