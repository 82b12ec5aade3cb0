#!/usr/bin/env bash
# Tries the README's run command as a new user would: scripts/run.sh in this
# source tree, with HOME and VQSQL_HOME pointed at throwaway folders and no
# display. Waits until the server listens, sends a handshake and a login
# report, checks that the three databases exist, stops the server by its
# PID and checks that it ended cleanly and closed the login row.
# Exits non-zero when any of that fails. Used by .ci/run; runs by hand too.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/build-common.sh

work="$(mktemp -d "${TMPDIR:-/tmp}/vq-check-run.XXXXXX")"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill -KILL "$server_pid" 2>/dev/null || true
    fi
    # The engine's network server that run.sh left in the background.
    "$VQ_BUILD_DIR/program/vqsql" stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-run: $*" >&2
    echo "---- the server's output ----" >&2
    cat "$work/server.log" >&2 || true
    exit 1
}

export HOME="$work/home" VQSQL_HOME="$work/vqsql" TMPDIR="$work/tmp"
mkdir -p "$HOME" "$TMPDIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# The server listens on 5971 unless something else does already; then on a
# free port of its own, through the port file beside the program.
program="$VQ_BUILD_DIR/program"
port=5971
if port_in_use "$port"; then
    port=$((20000 + RANDOM % 20000))
    while port_in_use "$port"; do port=$((port + 1)); done
    mkdir -p "$program"
    printf '[ServerInfo]\r\nServerPort=%s\r\n' "$port" > "$program/VQTCWSrv.ini"
    echo "check-run: 5971 is taken here; the server uses $port"
fi

started=$(date +%s)
scripts/run.sh </dev/null >"$work/server.log" 2>&1 &
server_pid=$!

# run.sh builds first: wait for as long as a build may take.
for _ in $(seq 1 1800); do
    port_in_use "$port" && break
    kill -0 "$server_pid" 2>/dev/null || fail "scripts/run.sh ended before the server listened"
    sleep 0.5
done
port_in_use "$port" || fail "nothing listens on port $port"
echo "check-run: the server listens on port $port after $(( $(date +%s) - started )) s"

# A handshake (type 1): the answer is the record with fields 0 to 3 set to
# 1, 1, 0 and the sa password (empty here, so "null"). Every field ends
# with the two bytes 0x0A 0x1A.
sep=$'\n\x1a'
record() { local f out=""; for f in "$@"; do out+="$f$sep"; done; printf '%s' "$out"; }
exec 3<>"/dev/tcp/127.0.0.1/$port"
record 1 0 0 null a b c d e >&3
answer=()
for _ in $(seq 1 9); do
    IFS= read -r -t 10 -d $'\x1a' field <&3 || fail "no complete handshake answer (got ${#answer[@]} fields)"
    answer+=("${field%$'\n'}")
done
[ "${answer[*]:0:4}" = "1 1 0 null" ] || fail "unexpected handshake answer: ${answer[*]}"
echo "check-run: handshake answered: ${answer[*]}"

# A login report (type 2) on the same connection opens a login row.
record 2 0 0 null 001 check check null null >&3
vqsql="$program/vqsql"
open_rows() { "$vqsql" -d VQTCWAccList -h -1 -W -Q "set nocount on; select count(*) from T_ClientLog where Closed=0" | tr -d '[:space:]'; }
for _ in $(seq 1 50); do [ "$(open_rows)" = 1 ] && break; sleep 0.2; done
[ "$(open_rows)" = 1 ] || { "$vqsql" -d VQTCWAccList -W -Q "select * from T_ClientLog" >&2; fail "the login report left no open login row"; }

databases=$("$vqsql" -h -1 -W -Q "set nocount on; select count(*) from master..sysdatabases where name in ('VQTCWAccList', 'VQTCW_Sample', 'VQTCWPack')" | tr -d '[:space:]')
[ "$databases" = 3 ] || fail "expected the three databases, found $databases"
echo "check-run: VQTCWAccList, VQTCW_Sample and VQTCWPack exist"

# The engine's network server that run.sh started answers a SQL Server
# client on port 1433 (unless something else held that port already).
if "$vqsql" status | grep -q "listening on 0.0.0.0:1433"; then
    tds=$(printf 'select count(*) from master..sysdatabases where name = N%s\ngo\nexit\n' "'VQTCWAccList'" |
          timeout 30 tsql -H 127.0.0.1 -p 1433 -U sa -P "" -o q 2>&1) || fail "tsql could not reach the engine on 1433: $tds"
    [ "$(echo "$tds" | tr -d '[:space:]')" = 1 ] || fail "tsql on 1433 answered: $tds"
    echo "check-run: tsql -H 127.0.0.1 -p 1433 -U sa reaches the engine"
else
    echo "check-run: the engine's network server does not listen on 1433 here: $("$vqsql" status)"
fi

# Stopped by its PID (run.sh ends in exec, so its PID is the server's).
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
exec 3<&-
[ "$status" = 0 ] || fail "the server ended with status $status after SIGTERM"
[ "$(open_rows)" = 0 ] || fail "the login row is still open after the server stopped"
echo "check-run: stopped by PID with status 0; the login row was closed"
