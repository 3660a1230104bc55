#!/usr/bin/env bash
# What the page host costs per request, each figure beside its baseline in the same run:
#   1. the login page (Geral.Login + Finalizar_Sessao_Uso) over HTTP with one client, in VBScript and
#      in JScript, against the same calls made in-process (BM_LoginCycle/0 of call_bench) on the
#      server's database, so that both meet the sessions every round leaves behind;
#   2. a text-only page, in VBScript and in JScript, against a static file of the same size (wrk, 16
#      connections);
#      (1 and 2 take ROUNDS rounds, 5 by default, each with every figure of its part; the ratios given
#      are the medians of the rounds' own ratios)
#   3. the resident memory of `orvan serve` after a warm-up and after 100,000 more requests;
#   4. `orvan run` of a trivial page against `python3 -c pass` (median of 30 starts each).
# Usage: bench/page-host-bench.sh [BUILD-DIR] (default build-bench, a Release build with
# -DORVAN_BENCH=ON: `cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORVAN_BENCH=ON`).
# Needs wrk and curl: scripts/install-deps.sh --bench. SQLite only; DURATION sets wrk's runs (10s),
# PAGE_SPIN the server's pageSpin (0).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
orvan=$build/tools/orvan
bench=$build/bench/call_bench
duration=${DURATION:-10s}
for tool in wrk curl python3; do
    command -v $tool >/dev/null || { echo "$tool is missing: bash scripts/install-deps.sh --bench" >&2; exit 2; }
done
[ -x "$orvan" ] && [ -x "$bench" ] || { echo "build $orvan and $bench first (Release, ORVAN_BENCH=ON)" >&2; exit 2; }

source bench/bench-common.sh
# The database and the site live in the temporary folder: on a disk, each commit of a login waits for
# its sync, as a deployed server's would; TMPDIR=/dev/shm keeps them in memory, which leaves the host's
# own cost and the calls' CPU to compare.
bench_workdir
cat >"$work/site/login.asp" <<'ASP'
<% Set g = Server.CreateObject("Orvan_Geral.Geral")
r = g.Login("ana", "ana123", "BENCH")
g.Finalizar_Sessao_Uso r(8)
Response.Write "ok " & r(1) %>
ASP
cat >"$work/site/login_js.asp" <<'ASP'
<%@ Language=JScript %><% var g = Server.CreateObject("Orvan_Geral.Geral");
var r = g.Login("ana", "ana123", "BENCH");
g.Finalizar_Sessao_Uso(r[8]);
Response.Write("ok " + r[1]); %>
ASP
text='<!DOCTYPE html>
<html><head><title>Agenda</title></head>
<body>
<h1>Agenda Orvan</h1>
<p>Hoje é <%= "dia de trabalho" %>.</p>
<ul><li>Reportagem de capa</li><li>Anúncio de página inteira</li></ul>
</body></html>'
printf '%s\n' "$text" >"$work/site/text.asp"
printf '<%%@ Language=JScript %%>%s\n' "$text" >"$work/site/text_js.asp"
echo "trivial" >"$work/site/trivial.asp"

"$orvan" regsvr --registry "$work/registry" >/dev/null
"$orvan" init-db "Provider=SQLite;Data Source=$work/agenda.db" --demo >/dev/null
cat >"$work/orvan.json" <<JSON
{"application": {"dataconn_ConnectionString": "Provider=SQLite;Data Source=$work/agenda.db",
                 "dataconn_CommandTimeout": 30},
 "eventlog": "file:$work/events.jsonl", "registry": "$work/registry",
 "server": {"root": "$work/site", "listen": "127.0.0.1:0", "accessLog": "/dev/null", "threads": 4,
            "pageSpin": ${PAGE_SPIN:-0}}}
JSON
bench_serve "$orvan" "$work/orvan.json"
# The static file has the page's size as served.
curl -fsS "${url}text.asp" >"$work/site/hello.txt"
for page in login.asp login_js.asp; do
    curl -fsS "${url}$page" | grep -q "ok Ana Souza" || { echo "$page failed" >&2; exit 1; }
done

# 64 returning users: their session cookies, handed to wrk's requests in turn (a request without a
# cookie starts a session that stays until its timeout, which is neither what most requests do nor
# flat memory).
bench_sessions_lua "${url}trivial.asp" "$work/sessions.lua"

rate() {  # wrk's requests per second for: threads connections url
    wrk -t"$1" -c"$2" -d"$duration" -s "$work/sessions.lua" "$3" | sed -n 's/^Requests\/sec: *//p'
}
rss() { awk '/^VmRSS/ {print $2}' "/proc/$server/status"; }
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$2"; }

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# ROUNDS rounds (5 unless set), each measuring a baseline and then the VBScript and JScript pages beside
# it (each figure a command printing one rate); prints every round with its ratios, the medians of the
# rates, and each page's median ratio over the rounds. A round's ratio compares figures taken seconds
# apart: on a disk whose sync times drift, that is steadier than the ratio of medians taken minutes
# apart.
compare() {  # BASELINE-NAME BASELINE-UNIT BASELINE-COMMAND VBSCRIPT-COMMAND JSCRIPT-COMMAND
    local bases=() vbss=() jss=() vbsr=() jsr=() round base vbs js
    for round in $(seq "${ROUNDS:-5}"); do
        base=$(eval "$3")
        vbs=$(eval "$4")
        js=$(eval "$5")
        bases+=("$base") vbss+=("$vbs") jss+=("$js")
        vbsr+=("$(ratio "$vbs" "$base")") jsr+=("$(ratio "$js" "$base")")
        echo "   round $round: $1 $base $2, VBScript $vbs (${vbsr[-1]}), JScript $js (${jsr[-1]}) requests/s"
    done
    echo "$1: $(median "${bases[@]}") $2"
    echo "VBScript page: $(median "${vbss[@]}") requests/s, ratio $(median "${vbsr[@]}")"
    echo "JScript page:  $(median "${jss[@]}") requests/s, ratio $(median "${jsr[@]}")"
}
inproc_rate() {  # the in-process login cycle's calls per second (median of 3)
    local us
    us=$(ORVAN_BENCH_SQLITE="Provider=SQLite;Data Source=$work/agenda.db" \
        "$bench" --benchmark_filter='BM_LoginCycle/0' --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '/_median/ {print $3}')
    python3 -c "import sys; print(f'{1e6 / float(sys.argv[1]):.1f}')" "$us"
}

echo "== 1. login page over HTTP, one client, against the same calls in-process (SQLite)"
echo "   (rounds of every figure, one beside the other; medians)"
compare in-process calls/s inproc_rate 'rate 1 1 "${url}login.asp"' 'rate 1 1 "${url}login_js.asp"'

echo "== 2. text-only page against a static file of the same size, 16 connections"
compare "static file" requests/s 'rate 2 16 "${url}hello.txt"' 'rate 2 16 "${url}text.asp"' \
    'rate 2 16 "${url}text_js.asp"'

echo "== 3. resident memory over 100,000 requests after the warm-up above"
round() {  # one round of every page, 2 s each; prints the requests served
    local total=0 n page
    for page in text.asp text_js.asp login.asp login_js.asp; do
        n=$(wrk -t2 -c8 -d2s -s "$work/sessions.lua" "${url}$page" | sed -n 's/^ *\([0-9]*\) requests in.*/\1/p')
        total=$((total + n))
    done
    echo "$total"
}
# The warm-up: every page on every pool thread, every session in use, until the page threads' script
# heaps and the database connections' page caches have reached their working size (three rounds).
for _ in 1 2 3; do round >/dev/null; done
before=$(rss)
served=0
while [ "$served" -lt 100000 ]; do
    served=$((served + $(round)))
    echo "  after $served requests: VmRSS $(rss) kB"
done
after=$(rss)
echo "VmRSS $before kB after the warm-up, $after kB after $served more requests: ratio $(ratio "$after" "$before")"

echo "== 4. orvan run of a trivial page against python3 -c pass (median of 30 starts)"
python3 - "$orvan" "$work" <<'PY'
import statistics, subprocess, sys, time
orvan, work = sys.argv[1], sys.argv[2]
def median(cmd):
    times = []
    for _ in range(30):
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - t)
    return statistics.median(times) * 1000
run = median([orvan, "run", f"{work}/site/trivial.asp", "--root", f"{work}/site", "--registry", f"{work}/registry"])
py = median(["python3", "-c", "pass"])
print(f"orvan run: {run:.2f} ms, python3 -c pass: {py:.2f} ms, ratio {run / py:.2f}")
PY
