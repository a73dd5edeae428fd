#!/usr/bin/env bash
# The real program metering real traffic in a network namespace of its own while its wall
# clock (faked with libfaketime; its timers keep the real monotonic clock) passes midnight,
# is set back an hour, and jumps days ahead as after a suspend: the log table holds exactly
# the bytes the kernel counted, no row ends before it starts, and a row ends on its own day.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces
faketime_lib=
for candidate in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketimeMT.so.1; do
    [ -e "$candidate" ] && faketime_lib=$candidate && break
done
[ -n "$faketime_lib" ] || skip "libfaketime is not installed (Debian package faketime; scripts/deps.sh installs it)"
make_namespaces
make_link "$NS" va "$PEER" vb 1

# set_clock 'yyyy-MM-dd HH:mm:ss': the program's wall clock reads that time at once and runs
# on from it (the file is read on every reading of the clock). In UTC, where no day has a
# daylight saving change.
export TZ=UTC
clock_file="$WORK/clock"
set_clock() { echo "@$1" >"$clock_file"; }
# AddressSanitizer wants to come first among the preloaded libraries; libfaketime must.
faked=(env LD_PRELOAD="$faketime_lib" FAKETIME_TIMESTAMP_FILE="$clock_file" FAKETIME_NO_CACHE=1
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

finish
