#!/usr/bin/env bash
# The Debian package, tested as an operator and an embedding developer would use it: builds
# orvan_VERSION_amd64.deb from a built folder (default: build), checks it with lintian (no errors),
# unpacks it into a scratch root (dpkg -x, nothing outside that folder changes) and runs the installed
# tree in place: `orvan --version`, `orvan init-db` on a scratch SQLite file, `orvan regsvr`, `orvan serve`
# on a free port with a login through curl, and a program built with find_package(Orvan) against the
# installed headers that creates Orvan_Geral.Comum and runs a query.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
scratch=$(mktemp -d /tmp/orvan-package.XXXXXX)
server=
cleanup() {
    if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

version=$(sed -n 's/^project([a-z_]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in the project line of CMakeLists.txt"

echo "== package"
cmake --build "$build" --target orvan Orvan_Geral orvan_man orvan_changelog >/dev/null
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb="$scratch/out/orvan_${version}_amd64.deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Architecture Depends
echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$scratch/lintian.log" || fail "lintian reports errors"
echo "lintian: $(grep -c '^E:' "$scratch/lintian.log" || true) errors, $(grep -c '^W:' "$scratch/lintian.log" || true) warnings"

echo "== installed tree"
dpkg -x "$deb" "$scratch/root"
prefix="$scratch/root/usr"
orvan="$prefix/bin/orvan"
component=$(find "$prefix/lib" -path '*/orvan/Orvan_Geral.so')
[ -n "$component" ] || fail "the package has no component library"
libdir=$(dirname "$(dirname "$component")")
export LD_LIBRARY_PATH="$libdir"
"$orvan" --version | grep -q "^orvan $version " || fail "orvan --version does not say $version"
"$orvan" --version
for unit in "$scratch/root/lib/systemd/system/orvan.service" "$scratch/root/etc/orvan/agenda.json" \
            "$scratch/root/etc/logrotate.d/orvan" "$prefix/share/man/man1/orvan.1.gz" \
            "$prefix/share/orvan/site/default.asp" "$prefix/share/orvan/schema/sqlite.sql" \
            "$libdir/cmake/Orvan/OrvanConfig.cmake" "$libdir/pkgconfig/orvan.pc"; do
    [ -f "$unit" ] || fail "the package has no ${unit#"$scratch/root"}"
done

"$orvan" init-db "Provider=SQLite;Data Source=$scratch/agenda.db" --demo >/dev/null
"$orvan" regsvr --registry "$scratch/registry" | grep -qF "registered $component in $scratch/registry" \
    || fail "regsvr did not register the installed component"

echo "== serve and log in"
port=
for candidate in $(shuf -i 20000-60000 -n 50); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
[ -n "$port" ] || fail "no free port"
cat > "$scratch/agenda.json" <<JSON
{
  "application": {"dataconn_ConnectionString": "Provider=SQLite;Data Source=$scratch/agenda.db",
                  "dataconn_ConnectionTimeout": 15, "dataconn_CommandTimeout": 30},
  "locale": "pt-BR",
  "eventlog": "file:$scratch/events.jsonl",
  "registry": "$scratch/registry",
  "server": {"root": "$prefix/share/orvan/site", "listen": "127.0.0.1:$port",
             "accessLog": "$scratch/access.log", "accessLogFormat": "combined"}
}
JSON
"$orvan" serve --config "$scratch/agenda.json" >"$scratch/serve.log" 2>&1 &
server=$!
for _ in $(seq 100); do
    grep -q "listening on" "$scratch/serve.log" && break
    kill -0 "$server" 2>/dev/null || { cat "$scratch/serve.log"; fail "orvan serve stopped"; }
    sleep 0.1
done
site="http://127.0.0.1:$port"
curl -fsS -c "$scratch/cookies" -A "package-test" "$site/default.asp" >"$scratch/login.html"
grep -q 'id="entrar"' "$scratch/login.html" || fail "the login page has no login form"
token=$(sed -n 's/.*name="token" value="\([^"]*\)".*/\1/p' "$scratch/login.html" | head -1)
[ -n "$token" ] || fail "the login page has no form token"
status=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' -b "$scratch/cookies" -c "$scratch/cookies" \
              --data-urlencode "usuario=ana" --data-urlencode "senha=ana123" --data-urlencode "token=$token" \
              "$site/default.asp")
case "$status" in
    30[23]\ *agenda.asp) ;;
    *) fail "the login answered \"$status\", not a redirect to agenda.asp" ;;
esac
curl -fsS -b "$scratch/cookies" "$site/agenda.asp" >"$scratch/agenda.html"
grep -q "Ana" "$scratch/agenda.html" || fail "the agenda after the login does not show the user"
grep -q '"GET /default.asp HTTP/1.1" 200 [0-9]* "-" "package-test"$' "$scratch/access.log" \
    || fail "the access log has no combined line for the login page"
kill "$server"; wait "$server" || true; server=
echo "logged in as ana on $site"

echo "== embedding program"
cmake -S "$root/tests/package/embed" -B "$scratch/embed" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/embed" >"$scratch/embed.log" 2>&1 || { cat "$scratch/embed.log"; fail "the embedding program does not build"; }
"$scratch/embed/embed" "$scratch/registry" "$scratch/agenda.db" >"$scratch/embed.out"
head -1 "$scratch/embed.out" | grep -qx "$version" || fail "the embedding program's headers say another version"
[ "$(tail -n +2 "$scratch/embed.out" | tr '\n' ' ')" = "ANA BRUNO CARLA " ] \
    || { cat "$scratch/embed.out"; fail "the embedding program's query did not list the three demo users"; }
pkg-config --with-path="$libdir/pkgconfig" --modversion orvan | grep -qx "$version" || fail "orvan.pc has another version"
echo "== package test passed"
