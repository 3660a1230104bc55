#!/usr/bin/env bash
# Installs, from Debian's packages, what the build, the tests and the demo site need and the machine lacks.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-client duktape-dev libmicrohttpd-dev
          nlohmann-json3-dev libpcre2-dev unixodbc-dev)
if [ "${1:-}" = "--tests" ]; then
    packages+=(chromium chromium-driver)
    # The ODBC drivers the ODBC provider's tests run on: psqlODBC on the private PostgreSQL server, the
    # SQLite driver, FreeTDS for the closed-port case.
    packages+=(odbc-postgresql libsqliteodbc tdsodbc)
    # The package test: lintian checks the .deb, curl logs in to the installed server.
    packages+=(lintian curl)
    # The browser test runs on Node.js; any Node.js 18 or later will do, Debian's included.
    command -v node >/dev/null || packages+=(nodejs)
    command -v npm >/dev/null || packages+=(npm)
fi
if [ "${1:-}" = "--bench" ]; then
    # The HTTP load generator, and the PostgreSQL module the Python port of a business call uses.
    packages+=(wrk curl python3-psycopg2)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
