# Shared by the HTTP benchmark scripts (sourced, not run): a scratch folder removed at exit together
# with the server started in it, `orvan serve` started on a configuration and waited for, and the
# session cookies of returning users handed to wrk's requests in turn.

# A scratch folder in $work (with an empty $work/site); the server in $server is stopped at exit.
bench_workdir() {
    work=$(mktemp -d)
    server=""
    trap bench_cleanup EXIT
    mkdir -p "$work/site"
}

bench_cleanup() {
    [ -n "$server" ] && kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}

# Starts ORVAN serve on the configuration CONFIG (which listens on a port of its choosing) and sets
# $server and $url once it listens; exits with the server's errors when it does not start.
bench_serve() {  # ORVAN CONFIG
    "$1" serve --config "$2" >"$work/serve.out" 2>"$work/serve.err" &
    server=$!
    for _ in $(seq 100); do
        grep -q "listening on" "$work/serve.out" 2>/dev/null && break
        sleep 0.1
    done
    url=$(sed -n 's/^orvan serve: listening on \(http:[^ ]*\) .*/\1/p' "$work/serve.out")
    [ -n "$url" ] || { cat "$work/serve.err" >&2; exit 1; }
}

# Writes a wrk script to FILE that sends the cookies of 64 sessions, each started by a request to
# PAGE-URL, in turn: returning users, where a request without a cookie would start (and leave behind
# until its timeout) a session of its own.
bench_sessions_lua() {  # PAGE-URL FILE
    {
        echo "local cookies = {"
        for _ in $(seq 64); do
            curl -s -o /dev/null -D - "$1" | sed -n 's/^Set-Cookie: \(ORVANSESSIONID=[0-9a-f]*\).*/  "\1",/p'
        done
        echo "}"
        echo "local n = 0"
        echo "request = function()"
        echo "  n = n + 1"
        echo "  return wrk.format(nil, nil, {Cookie = cookies[n % #cookies + 1]})"
        echo "end"
    } >"$2"
}
