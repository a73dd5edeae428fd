#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering real traffic in a network namespace of its own while its wall
# clock (faked with libfaketime; its timers keep the real monotonic clock) passes midnight,
# is set back an hour, jumps days ahead as after a suspend, and crosses the changes of
# daylight saving of Berlin and Santiago (whose changes come at midnight), and while the
# time zone itself changes under the running program: the log table holds exactly the bytes
# the kernel counted, no row ends before it starts, no two rows overlap in real time, the
# rows last as long as the run, and a row ends on its own day.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces python3 nsenter
faketime_lib=
for candidate in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketimeMT.so.1; do
    [ -e "$candidate" ] && faketime_lib=$candidate && break
done
[ -n "$faketime_lib" ] || skip "libfaketime is not installed (Debian package faketime; scripts/deps.sh installs it)"
for zone in Europe/Berlin America/Santiago America/Los_Angeles Asia/Tokyo; do
    [ -e "/usr/share/zoneinfo/$zone" ] || skip "no time zone file for $zone (Debian package tzdata)"
done
make_namespaces
make_link "$NS" va "$PEER" vb 1

# set_clock 'yyyy-MM-dd HH:mm:ss': the program's wall clock reads that time at once and runs
# on from it (the file is read on every reading of the clock). In UTC, where no day has a
# daylight saving change. The file holds seconds since the epoch, so that a time a zone
# repeats names one instant.
export TZ=UTC
clock_file="$WORK/clock"
set_clock() { echo "@$(date -d "$1" +%s)" >"$clock_file"; }
# AddressSanitizer wants to come first among the preloaded libraries; libfaketime must.
faked=(env LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$clock_file" FAKETIME_NO_CACHE=1 FAKETIME_FMT=%s
    FAKETIME_DONT_FAKE_MONOTONIC=1 ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")

# count SQL-CONDITION: the rows of the log table that meet the condition.
count() { rows "$db" "select count(*) from Log where $1"; }
# Rows that end on a later day than they start: every row ends on the day it began.
spanning="substr(DateAndTimeEnd, 1, 10) <> substr(DateAndTimeStart, 1, 10)"

# 3. 2 MB/s across midnight: the row of the old day ends at 23:59:59, the next one starts
#    at 00:00:00, and no byte is lost at the close.
set_clock "2026-03-14 23:59:40"
start_run "${faked[@]}"
before=$(counters va)
set_clock "2026-03-14 23:59:57"
transfer "$NS" 1 -R -b 16M -t 6
# Closed by the poll after midnight, while the program runs: its timers run under the faked clock.
closed_by_poll=$(count "DateAndTimeStart like '2026-03-14 %' and BytesRcvd > 0")
stop_run
check_case "3. 2 MB/s for 6 s across midnight" $(delta "$before" "$(counters va)") \
    "$([ "$closed_by_poll" -eq 1 ] || echo "the row of 14 March was not closed before the program was stopped")" \
    "$([ "$(count "DateAndTimeStart like '2026-03-14 %' and DateAndTimeEnd = '2026-03-14 23:59:59'")" -eq 1 ] \
        || echo "no row of 14 March ends at 23:59:59")" \
    "$([ "$(count "DateAndTimeStart = '2026-03-15 00:00:00' and BytesRcvd > 0")" -eq 1 ] \
        || echo "no row with traffic starts at 00:00:00 of 15 March")" \
    "$([ "$(count "$spanning")" -eq 0 ] || echo "a row ends on a later day than it starts")"

# 7. The wall clock set back one hour under traffic: the row ends at its last good time and
#    the next row begins at the new time.
set_clock "2026-03-14 12:00:00"
start_run "${faked[@]}"
before=$(counters va)
transfer "$NS" 1 -R -b 16M -t 6 &
traffic=$!
sleep 3
set_clock "2026-03-14 11:00:04"
wait "$traffic" || fail "traffic"
sleep 1
stop_run
check_case "7. the clock set back one hour during 6 s at 2 MB/s" $(delta "$before" "$(counters va)") \
    "$([ "$(count "DateAndTimeStart between '2026-03-14 11:00:00' and '2026-03-14 11:59:59'")" -ge 1 ] \
        || echo "no row begins at the new time")"

# 8. The clock jumps two and a half days ahead between two bursts, as after a suspend: the
#    row of the old day ends at 23:59:59 of that day, not of the day before the wake-up.
set_clock "2026-03-14 22:00:00"
start_run "${faked[@]}"
before=$(counters va)
transfer "$NS" 1 -R -b 16M -t 3
sleep 1
set_clock "2026-03-17 09:00:00"
sleep 1
closed_by_poll=$(count "DateAndTimeStart like '2026-03-14 %' and BytesRcvd > 0")
transfer "$NS" 1 -R -b 16M -t 3
sleep 1
stop_run
check_case "8. a suspend of two and a half days between two 3 s bursts at 2 MB/s" $(delta "$before" "$(counters va)") \
    "$([ "$closed_by_poll" -ge 1 ] || echo "the row of 14 March was not closed by the first poll after the wake-up")" \
    "$([ "$(count "DateAndTimeStart like '2026-03-14 %' and DateAndTimeEnd = '2026-03-14 23:59:59'")" -eq 1 ] \
        || echo "the row of 14 March does not end at 23:59:59 of 14 March")" \
    "$([ "$(count "$spanning")" -eq 0 ] || echo "a row ends on a later day than it starts")"

# start_timed TIME [COMMAND...] and stop_timed: start_run and stop_run under a clock that
# stands still a second before TIME while the program starts and runs on from TIME from the
# moment start_timed returns, however long the start took; the real times are noted for the
# checks of real_time_rows. (Set going, libfaketime's clock may first read a millisecond
# early: the second keeps that from looking like a clock set back.)
start_timed() {
    CLOCK_SET=$(date -d "$1" +%s)
    shift
    echo "$((CLOCK_SET - 1))" >"$clock_file"
    start_run "$@"
    echo "@$CLOCK_SET" >"$clock_file"
    t_run=$(date +%s.%N)
}
stop_timed() {
    t_stop=$(date +%s.%N)
    stop_run
    t_ended=$(date +%s.%N)
}

# real_time_rows ZONES OFFSETS: the rows against real time. Each row's start is read in the
# zones that were in force (ZONES, comma-separated); where its text names more than one
# instant of the run (an hour a zone repeats, a time that two zones share), the one that
# follows the row before is taken. Its end is read in the UTC offset its start has. A problem
# for: a text that names no instant of the run, a row that ends before it starts, one that
# begins before the row before it ended, rows that together last longer than the program ran
# or shorter than the time it metered, fewer than OFFSETS UTC offsets among the rows' starts
# (the program did not see the change).
real_time_rows() {
    rows "$db" "select DateAndTimeStart, DateAndTimeEnd from Log where BytesSent + BytesRcvd > 0 order by rowid" \
        | python3 -c '
import datetime, sys, zoneinfo
zones = [zoneinfo.ZoneInfo(z) for z in sys.argv[1].split(",")]
offsets_wanted = int(sys.argv[2])
clock_set, t_run, t_stop, t_ended = (float(a) for a in sys.argv[3:7])
first, last, metered = clock_set - 1, clock_set + t_ended - t_run, t_stop - t_run
def local(text):
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
def start_instant(text, after):
    """The earliest instant of the run, at or after `after`, that the local text names."""
    found = sorted({(local(text).replace(tzinfo=z, fold=f).timestamp(), local(text).replace(tzinfo=z, fold=f).utcoffset())
                    for z in zones for f in (0, 1)})
    found = [i for i in found if first - 2 <= i[0] <= last + 2]
    later = [i for i in found if i[0] >= after - 1]
    return (later or found or [(None, None)])[0]
problems, offsets, length, cursor, n = [], set(), 0.0, first - 2, 0
for n, line in enumerate(sys.stdin.read().splitlines(), 1):
    start_text, end_text = line.split("|")
    start, offset = start_instant(start_text, cursor)
    if start is None:
        problems.append(f"row {n} ({line}) starts outside the run")
        continue
    end = local(end_text).replace(tzinfo=datetime.timezone(offset)).timestamp()
    offsets.add(offset)
    if not first - 2 <= end <= last + 2:
        problems.append(f"row {n} ({line}) ends outside the run")
    if end < start:
        problems.append(f"row {n} ({line}) ends before it starts")
    if start < cursor - 1:
        problems.append(f"row {n} ({line}) begins {cursor - start:.0f} s before the row before it ended")
    length += end - start
    cursor = max(cursor, end)
if not metered - 1 - n <= length <= last - first + 1:
    problems.append(f"the rows last {length:.0f} s for {metered:.0f} s to {last - first:.0f} s of metering")
if len(offsets) < offsets_wanted:
    problems.append(f"the rows start in {len(offsets)} UTC offset(s), not {offsets_wanted}")
print("; ".join(problems))
' "$1" "$2" "$CLOCK_SET" "$t_run" "$t_stop" "$t_ended"
}

# dst_case NAME ZONE CHANGE [START]: 2 MB/s for 4 s across the change of daylight saving of
# ZONE at the instant CHANGE, two seconds in: the row ends at its real end in the offset it began in, the next
# row begins at the new local time, and the rows follow real time. A row with traffic begins
# at the local time START, if given.
dst_case() {
    TZ=$2 start_timed "$3 - 2 seconds" "${faked[@]}"
    before=$(counters va)
    transfer "$NS" 1 -R -b 16M -t 4
    stop_timed
    check_case "$1" $(delta "$before" "$(counters va)") "$(real_time_rows "$2" 2)" \
        "$([ "$(count "$spanning")" -eq 0 ] || echo "a row ends on a later day than it starts")" \
        "$([ -z "${4:-}" ] || [ "$(count "DateAndTimeStart = '$4' and BytesRcvd > 0")" -eq 1 ] \
            || echo "no row with traffic starts at $4")"
}
dst_case "9. Berlin, summer time ends (03:00 CEST becomes 02:00 CET)" Europe/Berlin "2026-10-25 01:00:00 UTC"
dst_case "10. Berlin, summer time begins (02:00 CET becomes 03:00 CEST)" Europe/Berlin "2026-03-29 01:00:00 UTC"
dst_case "11. Santiago, summer time ends at midnight (24:00 becomes 23:00)" America/Santiago "2026-04-05 03:00:00 UTC"
# The new day's first row begins at its first second, which is 01:00.
dst_case "12. Santiago, summer time begins at midnight (the day begins at 01:00)" America/Santiago \
    "2026-09-06 04:00:00 UTC" "2026-09-06 01:00:00"

# 13. The time zone changes while the program runs with TZ unset, from UTC to Los Angeles
#     (local time goes back seven hours) and on to Tokyo (sixteen hours ahead, onto the next
#     day), as when /etc/localtime is replaced: here another zone file is mounted over it in
#     the program's own mount namespace. The C library reads the file again when it changed.
TZ= start_timed "2026-03-14 20:00:00" env -u TZ "${faked[@]}"
before=$(counters va)
transfer "$NS" 1 -R -b 16M -t 6 &
traffic=$!
sleep 2
nsenter -t "$VARNOLT_PID" -m mount --bind /usr/share/zoneinfo/America/Los_Angeles /etc/localtime
sleep 2
nsenter -t "$VARNOLT_PID" -m mount --bind /usr/share/zoneinfo/Asia/Tokyo /etc/localtime
wait "$traffic" || fail "traffic"
stop_timed
check_case "13. the time zone changes from UTC to Los Angeles to Tokyo during 6 s at 2 MB/s" \
    $(delta "$before" "$(counters va)") "$(real_time_rows UTC,America/Los_Angeles,Asia/Tokyo 3)" \
    "$([ "$(count "$spanning")" -eq 0 ] || echo "a row ends on a later day than it starts")"

finish
