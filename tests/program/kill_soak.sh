#!/usr/bin/env bash
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
# VARNOLT_SOAK_KILLS and VARNOLT_SOAK_SEED repeat a longer soak or a given sequence of delays.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces tc awk
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 24mbit

kills=${VARNOLT_SOAK_KILLS:-20}
seed=${VARNOLT_SOAK_SEED:-$((RANDOM % 10000))}
RANDOM=$seed
# The journal is written at a poll once 5 s have passed since its last write, so its sample is
# at most 5 s plus one poll interval old; after a kill, what the link still held (the sender's
# socket buffer, doubled by the kernel, and the token bucket's queue) arrives before traffic
# stands still.
journal_age_ms=5500
tail_bytes=$((2 * 32768 + 32768 + 16384))
# The first poll announces itself on the program's standard error.
export QT_LOGGING_RULES="varnolt.startup.info=true"
problems=()

now_ms() { date +%s%3N; }

# begin_run: starts the program on the database as the last run left it, with traffic
# paused, and returns after its first poll; the counters it starts from go to START.
begin_run() {
    local before
    before=$(counters va)
    start_varnolt ip netns exec "$NS" "$WORK/bin/varnolt" /debug
    wait_for_line "$WORK/stderr.txt" "first poll done"
    START=$(counters va)
    [ "$START" = "$before" ] || problems+=("run $1: the counters moved while it started ($before, $START)")
}

# state_after_kill N: a copy of the database and its write-ahead log as the killed run left
# them (the program's next start must find them untouched, and the sqlite3 shell checkpoints
# when it closes): its integrity, and the journal that the next start will turn into a row,
# "rx tx" in JOURNALED.
state_after_kill() {
    local copy="$WORK/kill-$1.db" check backwards
    cp "$db" "$copy"
    [ ! -e "$db-wal" ] || cp "$db-wal" "$copy-wal"
    check=$(rows "$copy" "PRAGMA integrity_check" | tr '\n' ' ')
    [ "$check" = "ok " ] || problems+=("kill $1: integrity check: $check")
    backwards=$(rows "$copy" "select count(*) from RowJournal where DateAndTimeEnd < DateAndTimeStart")
    [ "$backwards" -eq 0 ] || problems+=("kill $1: the journal's row ends before it starts")
    JOURNALED=$(rows "$copy" "select coalesce(sum(BytesRcvd), 0) || ' ' || coalesce(sum(BytesSent), 0) from RowJournal")
    rm -f "$copy" "$copy-wal" "$copy-shm"
}

: >"$HOME/varnolt.log"
start_traffic 1 -R
pause_traffic
journaled_rx=0 journaled_tx=0 kernel_rx=0 kernel_tx=0
losses=()
echo "== $kills kills at random moments under 3 MB/s (seed $seed; VARNOLT_SOAK_SEED=$seed repeats it)"
echo "   allowed loss: ${journal_age_ms} ms of each run's traffic at its own rate, plus $tail_bytes bytes"
printf '   %4s %8s %12s %12s %12s %10s %7s\n' kill "ran ms" "kernel rx" "journaled rx" "allowed rx" "lost rx+tx" "lost s"
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
    got=($JOURNALED)
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
        || problems+=("kill $i: the journal holds more than the kernel counted (rx $lost_rx, tx $lost_tx lost)")
    [ "$lost_rx" -le "$allowed_rx" ] && [ "$lost_tx" -le "$allowed_tx" ] \
        || problems+=("kill $i: lost rx $lost_rx (allowed $allowed_rx), tx $lost_tx (allowed $allowed_tx)")
    journaled_rx=$((journaled_rx + got[0])) journaled_tx=$((journaled_tx + got[1]))
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

# Every journal became its log row exactly once, and the last run's row is exact.
IFS='|' read -r got_rx got_tx < <(rows "$db" "select coalesce(sum(BytesRcvd), 0), coalesce(sum(BytesSent), 0) from Log")
want_rx=$((journaled_rx + last[0])) want_tx=$((journaled_tx + last[1]))
printf '   %-28s received %12s   sent %12s\n' "kernel, all runs" "$((kernel_rx + last[0]))" "$((kernel_tx + last[1]))" \
    "journaled + last run" "$want_rx" "$want_tx" "logged" "$got_rx" "$got_tx"
[ "$got_rx" = "$want_rx" ] && [ "$got_tx" = "$want_tx" ] \
    || problems+=("the log does not hold each killed run's journal once plus the last run exactly")
[ "$got_rx" -le "$((kernel_rx + last[0]))" ] && [ "$got_tx" -le "$((kernel_tx + last[1]))" ] \
    || problems+=("the log holds more than the kernel counted")
[ "$(rows "$db" "PRAGMA integrity_check")" = ok ] || problems+=("integrity check after the last run")
[ "$(rows "$db" "select count(*) from Log where DateAndTimeEnd < DateAndTimeStart")" -eq 0 ] \
    || problems+=("a log row ends before it starts")
[ "$(rows "$db" "select count(*) from RowJournal")" -eq 0 ] || problems+=("the journal is not empty after SIGTERM")
expect_ok "$kills kills and a SIGTERM" "${problems[@]}"
finish
