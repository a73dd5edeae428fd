#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program, started from a copy of its build folder with "/debug": start-up lines
# in order, the start marker, and on SIGTERM, SIGINT and SIGHUP the last row written once.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
copy_build "$exe"
log="$HOME/varnolt.log"
# No adapter is chosen (the only stored choice names a position no interface has), so
# nothing is metered and every row the runs write is a marker.
rows "$db" "insert into settings values ('Adapter99', 'none')"

for signal in TERM INT HUP; do
    : >"$log"
    start_varnolt "$WORK/bin/varnolt" /debug
    wait_for_line "$log" ": Init Done"
    # The start marker of the run is in the log table while the program runs.
    [ "$(rows "$db" "select count(*) from Log where BytesSent = 0 and BytesRcvd = 0 and AvgDownloadSpeed = 0")" -ge 1 ] \
        || fail "no start marker"
    stop_varnolt "$signal" || fail "exit status $? on SIG$signal"

    got=$(sed -e 's/\r$//' -e 's/^[^:]*[0-9][^:]*:[0-9][0-9]:[0-9][0-9][^:]*: /: /' "$log" \
          | sed -e 's/^: Upgrading database: [0-9]*$/: Upgrading database: YEAR/')
    want=": Upgrading database: Step1.
: Upgrading database: Step2.
: Upgrading database: YEAR
: Upgrading database: Done
: Reading Settings
: Settings Read
: Init Done
: Windows is shutting down !!
App Shutdown sequence
: Step1
: Step2b"
    [ "$(printf '%s\n' "$got" | head -n 11)" = "$want" ] || { printf '%s\n' "$got" >&2; fail "log lines out of order (SIG$signal)"; }
    [ "$(grep -c 'App Shutdown sequence' "$log")" -eq 1 ] || fail "shutdown ran more than once on SIG$signal"
    [ "$(tail -n 1 "$log" | sed 's/\r$//' | sed 's/.*: All forms/: All forms/')" = ": All forms unloaded." ] \
        || fail "last line is not ': All forms unloaded.'"
done

# Nothing was metered, so each run's last row holds three zeros,
# a marker like the start marker, and the next run's writer removed it: one row is left.
[ "$(rows "$db" "select count(*) from Log")" -eq 1 ] || { rows "$db" "select * from Log" >&2; fail "expected 1 row"; }
[ ! -e "$XDG_DATA_HOME/varnolt" ] || fail "a build-folder run must not use the data folder"

# Without the switch there is no log.
rm -f "$log"
start_varnolt "$WORK/bin/varnolt"
sleep 1
stop_varnolt TERM
[ ! -e "$log" ] || fail "log written without /debug"
echo "1 passed, 0 failed"
