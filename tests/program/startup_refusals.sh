#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-ups the program refuses: a second copy on the same database reached through a
# symbolic link, an empty database file, a database without its Log table. Each says why
# (on stderr as in its message box), leaves the file as it was, and while its message box
# is open, SIGTERM ends it within a second with status 1; so does SIGTERM while start-up
# still waits for another program's lock, within 200 ms. Last, a second signal during a
# shutdown that is still trying to write changes nothing.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
copy_build "$exe"

# refused NAME EXE EXPECTED-STDERR: the program stays up with its box open, SIGTERM ends it.
refused() {
    local name=$1 program=$2 expected=$3
    "$program" >"$WORK/$name.out" 2>"$WORK/$name.err" &
    local pid=$!
    # The message goes to stderr right before the box opens.
    for _ in $(seq 200); do
        grep -q -- "$expected" "$WORK/$name.err" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    grep -q -- "$expected" "$WORK/$name.err" || { cat "$WORK/$name.err" >&2; fail "$name: no message '$expected'"; }
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "$name: ended by itself instead of showing its box"
    local sent
    sent=$(date +%s%N)
    kill -TERM "$pid"
    local status=0
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$pid" 2>/dev/null && { kill -9 "$pid"; fail "$name: still running 1 s after SIGTERM"; }
    wait "$pid" || status=$?
    [ "$status" -eq 1 ] || fail "$name: exit status $status, not 1"
    echo "$name: ended $(( ($(date +%s%N) - sent) / 1000000 )) ms after SIGTERM, status 1"
}

# A second copy of the program in another folder whose Varnolt.db is a link to the first's.
mkdir -p "$WORK/bin2"
cp "$WORK/bin/varnolt" "$WORK/bin2/"
ln -s "$WORK/bin/Varnolt.db" "$WORK/bin2/Varnolt.db"
start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
markers() { rows "$db" "select count(*) from Log where BytesSent = 0 and BytesRcvd = 0 and AvgDownloadSpeed = 0"; }
before=$(markers)
refused "through a symbolic link" "$WORK/bin2/varnolt" "already running on this database"
[ "$(markers)" = "$before" ] || fail "the refused copy wrote to the database"
kill -0 "$VARNOLT_PID" || fail "the first copy ended"
stop_varnolt TERM

# File faults: the message names the fault, and the file is left byte for byte.
check_file_fault() {
    local name=$1 expected=$2
    local sum
    sum=$(md5sum <"$db")
    refused "$name" "$WORK/bin/varnolt" "$expected"
    [ "$(md5sum <"$db")" = "$sum" ] || fail "$name: the database file changed"
}
cp "$db" "$WORK/good.db"
rows "$db" "drop table Log"
check_file_fault "no Log table" "has no table Log."
: >"$db"
check_file_fault "an empty file" "is empty, and no database."
cp "$WORK/good.db" "$db"

# SIGTERM while start-up waits for another program's lock (the sqlite3 shell inside BEGIN
# EXCLUSIVE; start-up would wait 5 s) ends the program within 200 ms, with status 1 as in its
# boxes above, no box and the file as it was.
: >"$HOME/varnolt.log"
sum=$(md5sum <"$db")
coproc LOCK { sqlite3 -batch "$db"; }
echo "BEGIN EXCLUSIVE; SELECT 'locked';" >&"${LOCK[1]}"
read -r -t 10 answer <&"${LOCK[0]}" && [ "$answer" = locked ] || fail "the sqlite3 shell did not take the lock"
start_varnolt "$WORK/bin/varnolt" /debug
sleep 1.5
kill -0 "$VARNOLT_PID" 2>/dev/null || { cat "$WORK/stderr.txt" >&2; fail "start-up ended before its wait"; }
! grep -q "Upgrading database" "$HOME/varnolt.log" || fail "start-up got past the lock"
sent=$(date +%s%N)
kill -TERM "$VARNOLT_PID"
status=0
wait "$VARNOLT_PID" || status=$?
took=$(( ($(date +%s%N) - sent) / 1000000 ))
lock_pid=$LOCK_PID
echo "COMMIT;" >&"${LOCK[1]}"
exec {LOCK[1]}>&-
wait "$lock_pid"
[ "$took" -le 200 ] || fail "the program ended $took ms after SIGTERM during start-up's wait, not within 200 ms"
[ "$status" -eq 1 ] || fail "exit status $status after SIGTERM during start-up's wait, not 1"
! grep -q "Database Init Error" "$WORK/stderr.txt" || fail "a requested stop reported as a failure"
[ "$(md5sum <"$db")" = "$sum" ] || fail "SIGTERM during start-up's wait changed the database file"
echo "SIGTERM during start-up's lock wait: ended $took ms after it, status 1"

# A second signal while shutdown is still trying to write (another program holds the
# database) changes nothing: the same one shutdown, its status 1 after its tries.
: >"$HOME/varnolt.log"
start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
{ echo "BEGIN EXCLUSIVE;"; sleep 9; echo "COMMIT;"; } | sqlite3 "$db" &
holder=$!
sleep 1
kill -TERM "$VARNOLT_PID"
sleep 1
kill -TERM "$VARNOLT_PID" 2>/dev/null || fail "a second signal found the program gone already"
status=0
wait "$VARNOLT_PID" || status=$?
wait "$holder" || true
[ "$status" -eq 1 ] || fail "exit status $status after a refused last row, not 1"
[ "$(grep -c 'App Shutdown sequence' "$HOME/varnolt.log")" -eq 1 ] || fail "shutdown ran more than once"
grep -q "the last log row could not be written" "$WORK/stderr.txt" || fail "no message about the last row"
echo "second signal during shutdown: one shutdown, status 1"
echo "1 passed, 0 failed"
