#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on an X server without a tray host: it shows its window, meters loopback traffic
# (the adapter chosen by name), and on SIGTERM writes its last row with that traffic.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
copy_build "$exe"
export QT_QPA_PLATFORM=xcb
rows "$db" "insert into settings values ('Adapter0', 'lo')"

export WORK COMMON="$(dirname "$0")/common.bash"
cat >"$WORK/run.sh" <<'SCRIPT'
set -euo pipefail
. "$COMMON"
start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
# Without a tray the monitor window is the way to the program: it is shown at start.
timeout 5 xdotool search --sync --onlyvisible --name "Varnolt" >/dev/null || fail "the monitor window is not shown"
# The statistics window's charts and the warning sounds' audio are loaded when
# first needed: a run that only meters maps none of them.
loaded=$(grep -oE 'libQt6(Charts|Multimedia|Network|Svg|OpenGLWidgets)[^ ]*' "/proc/$VARNOLT_PID/maps" | sort -u || true)
[ -z "$loaded" ] || fail "libraries a metering run does not need were loaded: $loaded"
# A second of loopback traffic, while the poll runs.
payload=$(printf 'v%.0s' $(seq 1200))
for _ in $(seq 100); do echo "$payload" >/dev/udp/127.0.0.1/9 || true; sleep 0.01; done
sleep 1
kill -0 "$VARNOLT_PID" || fail "the program ended without a tray host"
stop_varnolt TERM || fail "exit status $? on SIGTERM"
SCRIPT
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$WORK/run.sh"

got=$(rows "$db" "select count(*) from Log where BytesRcvd >= 120000 and BytesSent >= 120000")
[ "$got" -eq 1 ] || { rows "$db" "select * from Log" >&2; fail "expected one row with the loopback traffic"; }
[ "$(tail -n 1 "$HOME/varnolt.log" | sed 's/\r$//; s/.*: All forms/: All forms/')" = ": All forms unloaded." ] \
    || fail "last line is not ': All forms unloaded.'"
echo "1 passed, 0 failed"
