#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering steady traffic (3 MB/s through a token bucket) in a network
# namespace of its own, killed with SIGKILL at random moments 20 times and started again after
# each kill, then stopped with SIGTERM. Each start turns the journal of the killed run into its
# log row, so a kill loses at most the traffic since the journal's last write (one interval of
# 5 s, taken at a poll) and no byte is ever counted twice; the database is intact after every
# kill and no row ends before it starts.
#
# Traffic is paused while the program is down and while it starts: the kernel's counters stand
# still from before the start to after the first poll, so they are exactly the run's first
# reading, and each run is measured from there to the moment traffic stops after its kill.
# What a run counted is what its kill left in the log and the journal together, less what the
# run before left: a row the run closed itself counts with its journal. Where libfaketime is
# installed, the runs' wall clock passes midnight early in the soak, so that a run closes the
# row of the old day between its journal's writes.
# VARNOLT_SOAK_KILLS and VARNOLT_SOAK_SEED repeat a longer soak or a given sequence of delays;
# in CI the soak is 8 kills (VARNOLT_LONG=1: 20).
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces tc awk
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 24mbit

kills=20
[ "${CI:-}" != true ] || [ "${VARNOLT_LONG:-}" = 1 ] || kills=8
kills=${VARNOLT_SOAK_KILLS:-$kills}
seed=${VARNOLT_SOAK_SEED:-$((RANDOM % 10000))}
RANDOM=$seed
# The journal is written at the first poll once 5 s have passed since its last write: its
# sample is 5 to 5.5 s old when the next one is due, and a poll held up by a busy machine adds
# to that (one more poll interval is allowed). After a kill, what the link still held (the
# sender's socket buffer, doubled by the kernel, and the token bucket's queue) arrives before
# traffic stands still.
journal_age_ms=6000
tail_bytes=$((2 * 32768 + 32768 + 16384))
# The wall clock of the runs, faked where libfaketime is there: it goes on from one run to the
# next as the real one does, from 30 s before midnight (in UTC, without daylight saving).
faked=()
for candidate in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketimeMT.so.1; do
    [ -e "$candidate" ] || continue
    export TZ=UTC
    faked=(env LD_PRELOAD="$candidate" FAKETIME_TIMESTAMP_FILE="$WORK/clock" FAKETIME_NO_CACHE=1
        FAKETIME_DONT_FAKE_MONOTONIC=1 ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
    clock_offset=$(($(date -d "2026-03-14 23:59:30" +%s) - $(date +%s)))
    break
done
set_clock() { [ ${#faked[@]} -eq 0 ] || echo "@$(date -d "@$(($(date +%s) + clock_offset))" '+%Y-%m-%d %H:%M:%S')" >"$WORK/clock"; }
# The first poll announces itself on the program's standard error.
export QT_LOGGING_RULES="varnolt.startup.info=true"
problems=()

now_ms() { date +%s%3N; }

# begin_run: starts the program on the database as the last run left it, with traffic
# paused, and returns after its first poll; the counters it starts from go to START.
begin_run() {
    local before
    before=$(counters va)
    set_clock
    start_varnolt ip netns exec "$NS" "${faked[@]}" "$WORK/bin/varnolt" /debug
    wait_for_line "$WORK/stderr.txt" "first poll done"
    START=$(counters va)
    [ "$START" = "$before" ] || problems+=("run $1: the counters moved while it started ($before, $START)")
}

# state_after_kill N: a copy of the database and its write-ahead log as the killed run left
# them (the program's next start must find them untouched, and the sqlite3 shell checkpoints
# when it closes): its integrity, and the bytes of the log and the journal together, which the
# next start will hold in its log, "rx tx" in TOTAL.
state_after_kill() {
    local copy="$WORK/kill-$1.db" check backwards
    cp "$db" "$copy"
    [ ! -e "$db-wal" ] || cp "$db-wal" "$copy-wal"
    check=$(rows "$copy" "PRAGMA integrity_check" | tr '\n' ' ')
    [ "$check" = "ok " ] || problems+=("kill $1: integrity check: $check")
    backwards=$(rows "$copy" "select (select count(*) from Log where DateAndTimeEnd < DateAndTimeStart)
        + (select count(*) from RowJournal where DateAndTimeEnd < DateAndTimeStart)")
    [ "$backwards" -eq 0 ] || problems+=("kill $1: a row ends before it starts")
    TOTAL=$(rows "$copy" "select $(total_of BytesRcvd) || ' ' || $(total_of BytesSent)")
    rm -f "$copy" "$copy-wal" "$copy-shm"
}
total_of() { echo "((select coalesce(sum($1), 0) from Log) + (select coalesce(sum($1), 0) from RowJournal))"; }

: >"$HOME/varnolt.log"
start_traffic 1 -R
pause_traffic
kernel_rx=0 kernel_tx=0
previous=(0 0)
losses=()
echo "== $kills kills at random moments under 3 MB/s (seed $seed; VARNOLT_SOAK_SEED=$seed repeats it)"
echo "   allowed loss: ${journal_age_ms} ms of each run's traffic at its own rate, plus $tail_bytes bytes"
printf '   %4s %8s %12s %12s %12s %10s %7s\n' kill "ran ms" "kernel rx" "counted rx" "allowed rx" "lost rx+tx" "lost s"
for i in $(seq "$kills"); do
    begin_run "$i"
    delay_ms=$((4000 + RANDOM % 5000))
    resume_traffic
    resumed=$(now_ms)
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    kill -KILL "$VARNOLT_PID"
    kill -STOP "$TRAFFIC_SENDER"
    stopped=$(now_ms)
    status=0
    wait "$VARNOLT_PID" 2>/dev/null || status=$?
    [ "$status" -eq 137 ] || problems+=("kill $i: exit status $status, not 137 (SIGKILL)")
    settle
    ran=($(delta "$START" "$(counters va)"))
    state_after_kill "$i"
    total=($TOTAL)
    got=($((total[0] - previous[0])) $((total[1] - previous[1])))
    previous=("${total[@]}")
    lost_rx=$((ran[0] - got[0])) lost_tx=$((ran[1] - got[1]))
    flowed_ms=$((stopped - resumed))
    # The rates of this run, each direction on its own: the allowance is the traffic of the
    # journal's longest age at this run's own rate, plus what the link held at the kill.
    allowed_rx=$((ran[0] * journal_age_ms / flowed_ms + tail_bytes))
    allowed_tx=$((ran[1] * journal_age_ms / flowed_ms + tail_bytes))
    lost_s=$(awk -v l="$lost_rx" -v b="${ran[0]}" -v ms="$flowed_ms" 'BEGIN { printf "%.2f", b ? l / (b / ms * 1000) : 0 }')
    printf '   %4d %8d %12d %12d %12d %10d %7s\n' "$i" "$flowed_ms" "${ran[0]}" "${got[0]}" "$allowed_rx" \
        "$((lost_rx + lost_tx))" "$lost_s"
    losses+=("$((lost_rx + lost_tx)) $lost_s")
    [ "$lost_rx" -ge 0 ] && [ "$lost_tx" -ge 0 ] \
        || problems+=("kill $i: the run counted more than the kernel (rx $lost_rx, tx $lost_tx lost)")
    [ "$lost_rx" -le "$allowed_rx" ] && [ "$lost_tx" -le "$allowed_tx" ] \
        || problems+=("kill $i: lost rx $lost_rx (allowed $allowed_rx), tx $lost_tx (allowed $allowed_tx)")
    kernel_rx=$((kernel_rx + ran[0])) kernel_tx=$((kernel_tx + ran[1]))
done

# The last run ends with SIGTERM, after its traffic: its row holds every byte of it.
begin_run last
resume_traffic
sleep 3
pause_traffic
stop_varnolt TERM || problems+=("exit status $? on SIGTERM")
last=($(delta "$START" "$(counters va)"))
end_traffic

printf '%s\n' "${losses[@]}" | sort -n | awk '{ b[NR] = $1; s[NR] = $2 } END { m = int((NR + 1) / 2)
    printf "   lost per kill (bytes, seconds of traffic): min %d (%.2f s), median %d (%.2f s), max %d (%.2f s)\n",
        b[1], s[1], b[m], s[m], b[NR], s[NR] }'

# The last start logged the last journal once, and the last run's rows are exact.
IFS='|' read -r got_rx got_tx < <(rows "$db" "select coalesce(sum(BytesRcvd), 0), coalesce(sum(BytesSent), 0) from Log")
want_rx=$((previous[0] + last[0])) want_tx=$((previous[1] + last[1]))
printf '   %-32s received %12s   sent %12s\n' "kernel, all runs" "$((kernel_rx + last[0]))" "$((kernel_tx + last[1]))" \
    "left by the last kill + last run" "$want_rx" "$want_tx" "logged" "$got_rx" "$got_tx"
[ "$got_rx" = "$want_rx" ] && [ "$got_tx" = "$want_tx" ] \
    || problems+=("the log does not hold what the last kill left plus the last run exactly")
[ "$got_rx" -le "$((kernel_rx + last[0]))" ] && [ "$got_tx" -le "$((kernel_tx + last[1]))" ] \
    || problems+=("the log holds more than the kernel counted")
[ "$(rows "$db" "PRAGMA integrity_check")" = ok ] || problems+=("integrity check after the last run")
[ "$(rows "$db" "select count(*) from Log where DateAndTimeEnd < DateAndTimeStart")" -eq 0 ] \
    || problems+=("a log row ends before it starts")
[ "$(rows "$db" "select count(*) from Log where substr(DateAndTimeEnd, 1, 10) <> substr(DateAndTimeStart, 1, 10)")" \
    -eq 0 ] || problems+=("a log row ends on a later day than it starts")
if [ ${#faked[@]} -gt 0 ]; then
    closed=$(rows "$db" "select count(*) from Log where DateAndTimeEnd = '2026-03-14 23:59:59' and BytesRcvd > 0")
    echo "   the clock passed midnight during the soak; rows of the old day closed by the program: $closed"
    [ "$(rows "$db" "select count(*) from Log where DateAndTimeStart like '2026-03-15 %' and BytesRcvd > 0")" -gt 0 ] \
        || problems+=("no row after midnight")
fi
[ "$(rows "$db" "select count(*) from RowJournal")" -eq 0 ] || problems+=("the journal is not empty after SIGTERM")
expect_ok "$kills kills and a SIGTERM" "${problems[@]}"
finish
