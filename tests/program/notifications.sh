#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on a private session bus with a notification server of the test's own, its
# wall clock frozen by libfaketime and moved a day at a time, the log filled through the sqlite3
# shell: the volume left falls below 30 % and then below 15 % while it runs, and each step is
# notified once, with the forecast varnolt-report status gives at that moment; a restart in the
# same window notifies nothing again; in a new window that starts below 15 % the 15 % notice
# comes alone.
set -euo pipefail
exe=$1
build_dir=$2
. "$(dirname "$0")/common.bash"
skip() {
    echo "SKIP: $*"
    exit 77
}
for tool in dbus-run-session sqlite3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh installs it)"
done
faketime_lib=
for candidate in /usr/lib/*/faketime/libfaketimeMT.so.1 /usr/lib/faketime/libfaketimeMT.so.1; do
    [ -e "$candidate" ] && faketime_lib=$candidate && break
done
[ -n "$faketime_lib" ] || skip "libfaketime is not installed (Debian package faketime; scripts/deps.sh installs it)"
server=$build_dir/bin/notification_server
report=$build_dir/bin/varnolt-report
[ -x "$server" ] && [ -x "$report" ] || fail "build notification_server and varnolt-report first"
copy_build "$exe"
# 100 MB a month from the 1st, 60 MB used on 2 December; no interface metered, so that the
# volume is the log's alone and the report sees what the program saw.
rows "$db" "insert into settings values ('maxmbsize','100'),('logperiodtype','2'),('logperiod','0'),
    ('logstartday','1'),('whatsleft','1'),('Adapter0','none-$$');
    insert into Log values ('2026-12-02 08:00:00','2026-12-02 09:00:00',0,$((60 * 1048576)),10)"

export TZ=UTC LC_ALL=C.UTF-8 WORK COMMON="$(dirname "$0")/common.bash" SERVER="$server" REPORT="$report" db
export FAKETIME_TIMESTAMP_FILE="$WORK/clock" FAKETIME_NO_CACHE=1 FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_LIB="$faketime_lib"
cat >"$WORK/run.sh" <<'SCRIPT'
set -euo pipefail
. "$COMMON"
notices="$WORK/notices.txt"
: >"$notices"
# set_clock 'yyyy-MM-dd HH:mm:ss': the program's wall clock stands at that time.
set_clock() { echo "$1" >"$FAKETIME_TIMESTAMP_FILE"; }
log_mb() { rows "$db" "insert into Log values ('$1 08:00:00','$1 09:00:00',0,$(($2 * 1048576)),10)"; }
faked() { LD_PRELOAD="$FAKETIME_LIB" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$@"; }
"$SERVER" "$notices" >"$WORK/server.txt" 2>&1 &
trap 'kill $! 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^ready$' "$WORK/server.txt" && break; sleep 0.05; done
grep -q '^ready$' "$WORK/server.txt" || { cat "$WORK/server.txt" >&2; fail "the notification server did not start"; }
# wait_notices N: waits up to 20 s for the Nth notice.
wait_notices() {
    for _ in $(seq 200); do [ "$(wc -l <"$notices")" -ge "$1" ] && return 0; sleep 0.1; done
    cat "$WORK/stderr.txt" >&2
    fail "notice $1 did not come; received: $(cat "$notices")"
}
# check_notice N SUMMARY URGENCY: the Nth notice, and its forecast is the report's at this moment.
check_notice() {
    local line summary body urgency forecast
    line=$(sed -n "${1}p" "$notices")
    IFS=$'\t' read -r summary body urgency <<<"$line"
    [ "$summary" = "$2" ] && [ "$urgency" = "$3" ] || fail "notice $1 is '$line', not '$2' (urgency $3)"
    forecast=$(faked "$REPORT" status --database "$db" | sed -n 's/^Forecast: *the allowance runs out on //p')
    [ -n "$forecast" ] || fail "the report gives no date the allowance runs out"
    case "$body" in
    *"At this pace the allowance runs out on $forecast.") echo "notice $1: $summary; $body" ;;
    *) fail "notice $1 says '$body', the report 'runs out on $forecast'" ;;
    esac
}

set_clock "2026-12-16 00:00:00"
faked start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
sleep 1.5
[ ! -s "$notices" ] || fail "a notice with 40 % left: $(cat "$notices")"
# 72 MB used on the next day (the day's first poll reads the log afresh): 28 % left.
log_mb 2026-12-15 12
set_clock "2026-12-17 00:00:00"
wait_notices 1
check_notice 1 "Less than 30 % of the allowance left" 1
# 88 MB the day after: 12 % left.
log_mb 2026-12-16 16
set_clock "2026-12-18 00:00:00"
wait_notices 2
check_notice 2 "Less than 15 % of the allowance left" 2
sleep 1.5
stop_varnolt TERM || fail "exit status $? on SIGTERM"

# Again in the same window: nothing new.
faked start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
sleep 2
[ "$(wc -l <"$notices")" -eq 2 ] || fail "notified again after a restart: $(cat "$notices")"
# A new window, 90 MB used in it by 20 January: the 15 % notice alone.
log_mb 2027-01-05 90
set_clock "2027-01-20 00:00:00"
wait_notices 3
check_notice 3 "Less than 15 % of the allowance left" 2
sleep 1.5
[ "$(wc -l <"$notices")" -eq 3 ] || fail "more than the 15 % notice in the new window: $(cat "$notices")"
stop_varnolt TERM || fail "exit status $? on SIGTERM"
SCRIPT
timeout 120 dbus-run-session -- bash "$WORK/run.sh"
echo "1 passed, 0 failed"
