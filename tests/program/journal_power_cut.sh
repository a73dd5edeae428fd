#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a power cut would leave of the open row while another program holds a read transaction
# on the database for minutes (a backup, the sqlite3 shell, a report left open). The real
# program meters steady traffic (3 MB/s through a token bucket) in a network namespace of its
# own, under strace, which records every fsync and fdatasync of the program with the file it
# flushed and every write to the write-ahead log. The sqlite3 shell holds BEGIN; SELECT ... for
# 3 minutes, so no checkpoint can fold the write-ahead log back: what reaches the disk is what
# the journal's own commits flush.
#
# Two checks, each against the kernel's counters (sampled every 0.5 s):
# - the largest gap between two flushes of the write-ahead log while traffic flows, which
#   bounds what a power cut can take (the journal's goal: one flush every 5 s);
# - at random moments in the hold, a copy of the database and its write-ahead log cut back to
#   what had been flushed at that moment (during the hold the log only grows, so that is the
#   part of the file written before the last flush): it opens, passes the integrity check,
#   holds every byte the kernel counted up to 10 s before the moment, and no byte more than the
#   kernel counted by then.
# At the end the program stops with SIGTERM and its log holds every byte exactly.
# VARNOLT_READER_SECONDS shortens or lengthens the hold; in CI it is 60 s (a dozen of the
# journal's flushes), VARNOLT_LONG=1 gives the whole 3 minutes there too.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces tc awk strace truncate
strace -f -qq --seccomp-bpf -e trace=fdatasync -o /dev/null true 2>"$WORK/strace-probe.txt" \
    || skip "strace cannot trace here: $(cat "$WORK/strace-probe.txt")"
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 24mbit

hold_s=180
[ "${CI:-}" != true ] || [ "${VARNOLT_LONG:-}" = 1 ] || hold_s=60
hold_s=${VARNOLT_READER_SECONDS:-$hold_s}
promised_s=10
now_ms() { date +%s%3N; }
problems=()
export QT_LOGGING_RULES="varnolt.startup.info=true"

start_traffic 1 -R
pause_traffic
# -ttt: seconds since the epoch; -y: the file behind each descriptor; -s 0: no data. A
# sanitizer build's leak check cannot run under a tracer: it is left to the other checks.
start_varnolt ip netns exec "$NS" env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" strace -f -qq --seccomp-bpf -ttt -y -s 0 -o "$WORK/syscalls.txt" \
    -e trace=fsync,fdatasync,pwrite64 "$WORK/bin/varnolt" /debug
wait_for_line "$WORK/stderr.txt" "first poll done"
START=$(counters va)
program=$(pgrep -P "$VARNOLT_PID" -x varnolt) || fail "no program under strace"

# The kernel's counters since the first poll, "ms rx tx" every 0.5 s.
(
    s=($START)
    while :; do
        c=($(counters va))
        echo "$(now_ms) $((c[0] - s[0])) $((c[1] - s[1]))"
        sleep 0.5
    done
) >"$WORK/kernel.txt" &
sampler=$!
resume_traffic
traffic_from=$(now_ms)
sleep 8

# The reader: a deferred transaction, held from its first SELECT until COMMIT.
mkfifo "$WORK/reader.in"
sqlite3 -batch "$db" <"$WORK/reader.in" >"$WORK/reader.out" 2>&1 &
reader=$!
exec 4>"$WORK/reader.in"
echo "BEGIN; SELECT count(*) FROM Log;" >&4
sleep 1
hold_from=$(now_ms)
wal_before=$(stat -c %s "$db-wal")
echo "== a reader holds a transaction for $hold_s s under 3 MB/s; copies as a power cut would leave them"
copies=0
while :; do
    delay_ms=$((5000 + RANDOM % 8000))
    [ $(($(now_ms) + delay_ms)) -lt $((hold_from + hold_s * 1000)) ] || break
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    copies=$((copies + 1))
    at=$(now_ms)
    cp "$db" "$WORK/copy-$copies.db"
    cp "$db-wal" "$WORK/copy-$copies.db-wal"
    echo "$at" >"$WORK/copy-$copies.at"
done
sleep "$(awk -v t="$((hold_from + hold_s * 1000 - $(now_ms)))" 'BEGIN { print (t > 0 ? t / 1000 : 0) }')"
wal_after=$(stat -c %s "$db-wal")
echo "COMMIT;" >&4
exec 4>&-
wait "$reader" || problems+=("the reader failed: $(cat "$WORK/reader.out")")
hold_to=$(now_ms)
sleep 8
pause_traffic
traffic_to=$(now_ms)
kill -TERM "$program"
status=0
wait_varnolt || status=$?
[ "$status" -eq 0 ] || problems+=("exit status $status on SIGTERM")
kill "$sampler"
wait "$sampler" 2>/dev/null || true
last=($(delta "$START" "$(counters va)"))
end_traffic

# The flushes of the write-ahead log, and its writes: "seconds offset end" of each write
# (one whose offset is 0 starts the log afresh), "seconds" of each flush that succeeded.
awk '/Varnolt\.db-wal>/ && /= 0$/ && /(fsync|fdatasync)\(/ { print $2 }' "$WORK/syscalls.txt" >"$WORK/flushes.txt"
awk '/pwrite64\([0-9]+<[^>]*Varnolt\.db-wal>/ { n = split($0, f, /, |\) = /); print $2, f[n - 1], f[n - 1] + f[n] }' \
    "$WORK/syscalls.txt" >"$WORK/walwrites.txt"
flushes_in() { awk -v a="$1" -v b="$2" '$1 * 1000 >= a && $1 * 1000 <= b' "$WORK/flushes.txt" | wc -l; }
# largest_gap FROM_MS TO_MS: the longest time in seconds without a flush of the write-ahead
# log between the two moments, counting from FROM and up to TO.
largest_gap() {
    awk -v a="$1" -v b="$2" 'BEGIN { last = a / 1000; max = 0 }
        $1 * 1000 >= a && $1 * 1000 <= b { if ($1 - last > max) max = $1 - last; last = $1 }
        END { if (b / 1000 - last > max) max = b / 1000 - last; printf "%.2f", max }' "$WORK/flushes.txt"
}
traffic_s=$(((traffic_to - traffic_from) / 1000))
gap_all=$(largest_gap "$traffic_from" "$traffic_to")
gap_hold=$(largest_gap "$hold_from" "$hold_to")
flushes=$(flushes_in "$traffic_from" "$traffic_to")
median_gap=$(awk -v a="$traffic_from" -v b="$traffic_to" '$1 * 1000 >= a && $1 * 1000 <= b {
    if (n++) printf "%.3f\n", $1 - last; last = $1 }' "$WORK/flushes.txt" | sort -n \
    | awk '{ g[NR] = $1 } END { printf "%.2f", NR ? g[int((NR + 1) / 2)] : 0 }')
db_flushes=$(awk '/Varnolt\.db>/ && /(fsync|fdatasync)\(/' "$WORK/syscalls.txt" | wc -l)
printf '   %-52s %s s\n' "largest gap between flushes of the WAL, whole run" "$gap_all" \
    "largest gap between flushes of the WAL, reader holding" "$gap_hold" \
    "median gap between flushes of the WAL" "$median_gap"
printf '   %-52s %s in %s s of traffic (%s flushes of the database file)\n' "flushes of the WAL" "$flushes" \
    "$traffic_s" "$db_flushes"
printf '   %-52s %s kB -> %s kB\n' "the WAL while the reader held" "$((wal_before / 1024))" "$((wal_after / 1024))"
awk -v g="$gap_all" -v p="$promised_s" 'BEGIN { exit !(g <= p) }' \
    || problems+=("no flush of the write-ahead log for $gap_all s (promised: $promised_s s)")
[ "$flushes" -lt 3 ] || awk -v g="$median_gap" 'BEGIN { exit !(g >= 4.5) }' \
    || problems+=("the write-ahead log is flushed every $median_gap s: more often than one journal write every 5 s")
# Frames a checkpoint could have reused would keep the file's size: it grows only when the
# reader's snapshot pins every frame written after it.
[ "$wal_after" -gt $((wal_before + hold_s / 20 * 4096)) ] \
    || problems+=("the write-ahead log did not grow while the reader held ($wal_before -> $wal_after bytes)")

total_of() { echo "((select coalesce(sum($1), 0) from Log) + (select coalesce(sum($1), 0) from RowJournal))"; }
# Each copy as a power cut at its moment would leave it: the write-ahead log up to the end of
# its last write before the last flush before that moment.
printf '   %4s %12s %12s %12s %8s\n' copy "last flush" "kernel rx" "copy rx" "age s"
worst_age=0
for i in $(seq "$copies"); do
    at=$(cat "$WORK/copy-$i.at")
    flushed=$(awk -v t="$at" '$1 * 1000 <= t { s = $1 } END { print s }' "$WORK/flushes.txt")
    [ -n "$flushed" ] || { problems+=("copy $i: nothing flushed before it"); continue; }
    keep=$(awk -v s="$flushed" '$1 <= s { if ($2 == 0) e = 0; if ($3 > e) e = $3 } END { print e + 0 }' \
        "$WORK/walwrites.txt")
    truncate -s "$keep" "$WORK/copy-$i.db-wal"
    check=$(rows "$WORK/copy-$i.db" "PRAGMA integrity_check" | tr '\n' ' ')
    [ "$check" = "ok " ] || problems+=("copy $i: integrity check: $check")
    got=($(rows "$WORK/copy-$i.db" "select $(total_of BytesRcvd) || ' ' || $(total_of BytesSent)"))
    # The kernel's last reading by the copy's moment, the last one at least 10 s before it, and
    # the age of the copy: how long before its moment the kernel had counted what it holds.
    read -r now_rx now_tx < <(awk -v t="$at" '$1 <= t { r = $2; x = $3 } END { print r + 0, x + 0 }' "$WORK/kernel.txt")
    read -r old_rx old_tx < <(awk -v t="$((at - promised_s * 1000))" '$1 <= t { r = $2; x = $3 } END { print r + 0, x + 0 }' \
        "$WORK/kernel.txt")
    age=$(awk -v t="$at" -v r="${got[0]}" -v x="${got[1]}" 'NR == 1 { s = $1 } $2 <= r && $3 <= x { s = $1 }
        END { printf "%.1f", (t - s) / 1000 }' \
        "$WORK/kernel.txt")
    printf '   %4d %12s %12d %12d %8s\n' "$i" "$(awk -v f="$flushed" -v t="$at" 'BEGIN { printf "%.2f ago", t / 1000 - f }')" \
        "$now_rx" "${got[0]}" "$age"
    awk -v a="$age" -v w="$worst_age" 'BEGIN { exit !(a > w) }' && worst_age=$age
    [ "${got[0]}" -ge "$old_rx" ] && [ "${got[1]}" -ge "$old_tx" ] \
        || problems+=("copy $i: holds rx ${got[0]} tx ${got[1]}, less than the kernel counted $promised_s s before ($old_rx, $old_tx)")
    # Not more than the kernel counted by the end of the copy (the next reading).
    read -r after_rx after_tx < <(awk -v t="$at" '$1 > t { print $2, $3; exit }' "$WORK/kernel.txt")
    [ "${got[0]}" -le "${after_rx:-0}" ] && [ "${got[1]}" -le "${after_tx:-0}" ] \
        || problems+=("copy $i: holds rx ${got[0]} tx ${got[1]}, more than the kernel counted ($after_rx, $after_tx)")
done
echo "   $copies copies; the oldest held the kernel's count of $worst_age s before its moment (promised: $promised_s s)"
[ "$copies" -ge 5 ] || [ "$hold_s" -lt 60 ] || problems+=("only $copies copies in the hold")

IFS='|' read -r got_rx got_tx < <(rows "$db" "select coalesce(sum(BytesRcvd), 0), coalesce(sum(BytesSent), 0) from Log")
printf '   %-20s received %12s   sent %12s\n' "kernel" "${last[0]}" "${last[1]}" "logged" "$got_rx" "$got_tx"
[ "$got_rx" = "${last[0]}" ] && [ "$got_tx" = "${last[1]}" ] || problems+=("the log does not hold every byte after SIGTERM")
expect_ok "flushed every few seconds while a reader holds the database" "${problems[@]}"
finish
