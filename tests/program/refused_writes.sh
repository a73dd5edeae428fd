#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering real traffic while its database refuses to be written: the file
# system it lies on is full (a small tmpfs of this script's own, filled by a file that takes
# the remaining space), or another program holds the write lock (the sqlite3 shell inside
# BEGIN EXCLUSIVE). A row close the database refuses keeps the row open and is tried again,
# and once the database takes writes again no byte is lost. A shutdown that cannot write
# the last row within its 5 s ends with status 1 and a message, and the next start logs the
# row from the journal; a lock released within the 5 s lets the row be written.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
# A mount namespace of the script's own: the small file system is seen by it alone and goes
# with it.
if [ -z "${VARNOLT_OWN_MOUNTS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "mounting a file system needs root (run the suite as root, as CI does)"
    unshare --mount true 2>/dev/null || skip "cannot make a mount namespace (unshare --mount)"
    exec unshare --mount --propagation private env VARNOLT_OWN_MOUNTS=1 bash "$0" "$@"
fi
copy_build "$exe"
require_namespaces

# The program and its database on a tmpfs with 4 MB to spare.
mv "$WORK/bin" "$WORK/files"
mkdir "$WORK/bin"
mount -t tmpfs -o "size=$(($(du -sk "$WORK/files" | cut -f1) + 4096))k" varnolt-test "$WORK/bin"
cp -a "$WORK/files/." "$WORK/bin/"
rm -rf "$WORK/files"
make_namespaces
trap 'umount -l "$WORK/bin"; cleanup' EXIT
make_link "$NS" va "$PEER" vb 1
log="$HOME/varnolt.log"

# fill_disk: a file takes all the space left; free_disk gives it back.
fill_disk() {
    dd if=/dev/zero of="$WORK/bin/filler" bs=64k 2>/dev/null || true
    [ "$(df --output=avail "$WORK/bin" | tail -n 1)" -eq 0 ] || fail "the file system is not full"
}
free_disk() { rm -f "$WORK/bin/filler"; }

# hold_lock: the sqlite3 shell takes the database's write lock (BEGIN EXCLUSIVE; in WAL mode
# readers go on) and keeps it until release_lock.
hold_lock() {
    coproc LOCK { sqlite3 -batch "$db"; }
    echo ".timeout 5000" >&"${LOCK[1]}"
    echo "BEGIN EXCLUSIVE; SELECT 'locked';" >&"${LOCK[1]}"
    local answer
    read -r -t 10 answer <&"${LOCK[0]}" && [ "$answer" = locked ] || fail "the sqlite3 shell did not take the lock"
}
release_lock() {
    local pid=$LOCK_PID
    echo "COMMIT;" >&"${LOCK[1]}"
    exec {LOCK[1]}>&-
    wait "$pid"
}

# wait_for_row SECONDS: waits until the log holds a row of more than 2,000,000,000 bytes (a
# close by size); prints how long it took.
wait_for_row() {
    local t
    for t in $(seq "$1"); do
        [ "$(rows "$db" "select count(*) from Log where BytesRcvd > 2000000000")" -eq 0 ] || { echo "$t"; return 0; }
        sleep 1
    done
    echo never
}

# stop_timed SIGNAL: sends the signal and waits for the end; the exit status goes to STATUS,
# the seconds since the signal to TOOK.
stop_timed() {
    local sent
    sent=$(date +%s%3N)
    kill -"$1" "$VARNOLT_PID"
    wait_timed "$sent"
}
# wait_timed SINCE-MS: waits for the end, as stop_timed does, timed from SINCE-MS.
wait_timed() {
    STATUS=0
    wait_varnolt || STATUS=$?
    TOOK=$(awk -v ms="$(($(date +%s%3N) - $1))" 'BEGIN { printf "%.1f", ms / 1000 }')
}

# restart_run: the program again on the database as the last run left it, with a fresh
# debug log.
restart_run() {
    : >"$log"
    start_varnolt ip netns exec "$NS" "$WORK/bin/varnolt" /debug
    wait_for_line "$log" ": Init Done"
    sleep 1
}

# refused_shutdown: what is wrong with a shutdown that could not write its last row (it ends
# with status 1, after 5 s of tries, with the message on standard error) goes to REFUSED, and
# the time it took to GAVE_UP.
refused_shutdown() {
    REFUSED=() GAVE_UP=$TOOK
    [ "$STATUS" -eq 1 ] || REFUSED+=("exit status $STATUS, not 1")
    awk -v t="$TOOK" 'BEGIN { exit !(t >= 5) }' || REFUSED+=("gave up after $TOOK s, before 5 s of tries")
    grep -q "the last log row could not be written" "$WORK/stderr.txt" || REFUSED+=("no message on standard error")
}

# refused_close NAME BLOCK UNBLOCK REASON: while BLOCK holds, 2.1 GB arrive and the close by
# size is refused (the row stays open and grows); after UNBLOCK the next try writes it, with
# every byte.
refused_close() {
    local name=$1 block=$2 unblock=$3 reason=$4
    start_run
    local before refused took
    before=$(counters va)
    $block
    transfer "$NS" 1 -R -n 2100M
    wait_for_line "$log" "Log row not written"
    refused=$(grep -c "Log row not written.*$reason" "$log" || true)
    $unblock
    took=$(wait_for_row 40)
    transfer "$NS" 1 -R -n 20M
    sleep 1
    stop_timed TERM
    check_case "$name; the row written ${took} s after" \
        $(delta "$before" "$(counters va)") \
        "$([ "$refused" -ge 1 ] || echo "the close was not refused")" \
        "$([ "$took" != never ] || echo "the row was not written within 40 s")" \
        "$([ "$STATUS" -eq 0 ] || echo "exit status $STATUS on SIGTERM")"
}

# refused_shutdown_case NAME BLOCK UNBLOCK: BLOCK comes after the traffic, once the journal
# holds it, and lasts past the shutdown's 5 s: status 1 with the message; after UNBLOCK the
# next start logs the row.
refused_shutdown_case() {
    local name=$1 block=$2 unblock=$3
    start_run
    local before recovered
    before=$(counters va)
    transfer "$NS" 1 -R -n 50M
    sleep 7
    $block
    stop_timed TERM
    refused_shutdown
    $unblock
    restart_run
    recovered=$(grep -c "Row of an unfinished run recovered" "$log" || true)
    stop_timed TERM
    check_case "$name (status 1 after $GAVE_UP s); the next start logs the row" \
        $(delta "$before" "$(counters va)") "${REFUSED[@]}" \
        "$([ "$recovered" -eq 1 ] || echo "no row recovered at the next start")" \
        "$([ "$STATUS" -eq 0 ] || echo "exit status $STATUS on the second SIGTERM")"
}

refused_close "1. disk full at a close by size" fill_disk free_disk full
refused_shutdown_case "2. SIGTERM on a full disk" fill_disk free_disk
refused_close "3. write lock held at a close by size" hold_lock release_lock locked
refused_shutdown_case "4. write lock held over the shutdown" hold_lock release_lock

# 5. The lock is released 2 s into the shutdown: the last row is written and the program
#    ends well, with nothing left in the journal.
start_run
before=$(counters va)
transfer "$NS" 1 -R -n 50M
sleep 1
hold_lock
sent=$(date +%s%3N)
kill -TERM "$VARNOLT_PID"
sleep 2
release_lock
wait_timed "$sent"
check_case "5. write lock released 2 s into the shutdown (ended after $TOOK s)" \
    $(delta "$before" "$(counters va)") \
    "$([ "$STATUS" -eq 0 ] || echo "exit status $STATUS")" \
    "$([ "$(rows "$db" "select count(*) from RowJournal")" -eq 0 ] || echo "the journal still holds a row")"

finish
