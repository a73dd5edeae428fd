#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What one poll costs in instructions and system calls, hidden in a tray and shown, while
# 2.4 MB/s flow through the metered interface (a token bucket on a veth pair in a network
# namespace of its own): figures that the load of a shared machine does not blur, unlike CPU
# time. callgrind counts the instructions of every thread over a window of polls (start-up
# left out) and the polls in it; strace counts the system calls over a window as long.
#   bench/poll_instructions.sh [build folder] [seconds per window]
# Needs root (network namespaces), valgrind, strace, iperf3, tc, Xvfb and trayer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds=${2:-20}
. "$root/bench/common.bash"
copy_build "$build/bin/varnolt"
require_namespaces tc Xvfb trayer valgrind callgrind_control strace
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 19200kbit

read -r tray_display tray_server < <(x_server tray)
read -r shown_display shown_server < <(x_server shown)
DISPLAY=":$tray_display" trayer --edge bottom --align right --widthtype request --height 28 >/dev/null 2>&1 &
tray_pid=$!
trap 'kill $tray_pid $tray_server $shown_server 2>/dev/null || true; end_traffic 2>/dev/null || true; cleanup' EXIT
sleep 1
start_traffic 1 -R

# run NAME DISPLAY TOOL...: the program under the tool in the metered namespace; prints its pid.
run() {
    local name=$1 display=$2
    shift 2
    mkdir -p "$WORK/home-$name"
    cp -r "$WORK/bin" "$WORK/$name"
    ip netns exec "$NS" env DISPLAY=":$display" QT_QPA_PLATFORM=xcb HOME="$WORK/home-$name" \
        XDG_DATA_HOME="$WORK/home-$name/data" "$@" "$WORK/$name/varnolt" >/dev/null 2>"$WORK/$name.err" &
    echo $!
}

# stop PID: ends the run and waits until it has (it is not this shell's child).
stop() {
    kill "$1"
    for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$1" 2>/dev/null || true
}

# totals FILE: the instructions in a callgrind file and the calls of MonitorPoll::run in it.
totals() {
    python3 - "$1" <<'PY'
import re, sys
names, total, calls, current = {}, 0, 0, None
for line in open(sys.argv[1], errors='replace'):
    if line.startswith('summary:') or line.startswith('totals:'):
        total = max(total, int(line.split()[1]))
    m = re.match(r'(c?)fn=\((\d+)\)(?: (.*))?', line)
    if m:
        if m.group(3):
            names[m.group(2)] = m.group(3).strip()
        if m.group(1):
            current = names.get(m.group(2))
    elif line.startswith('calls=') and current == 'MonitorPoll::run()':
        calls += int(line[6:].split()[0])
print(total, calls)
PY
}

for state in hidden shown; do
    display=$tray_display
    [ "$state" = hidden ] || display=$shown_display
    pid=$(run "$state-cg" "$display" valgrind --tool=callgrind --instr-atstart=no \
        --callgrind-out-file="$WORK/cg-$state.out")
    sleep 15 # start-up left out
    callgrind_control -i on "$pid" >/dev/null
    sleep "$seconds"
    callgrind_control -i off "$pid" >/dev/null
    stop "$pid"
    read -r total polls < <(totals "$WORK/cg-$state.out")
    [ -z "${KEEP_CALLGRIND:-}" ] || cp "$WORK/cg-$state.out" "$KEEP_CALLGRIND-$state.out"
    echo "$state: $polls polls, $((total / (polls > 0 ? polls : 1))) instructions a poll (all threads)"

    pid=$(run "$state-st" "$display")
    sleep 5
    timeout -s INT "$seconds" strace -f -qq -c -p "$pid" -o "$WORK/strace-$state.txt" || true
    stop "$pid"
    echo "  system calls a poll over $seconds s ($((seconds * 2)) polls), all threads:"
    awk -v polls=$((seconds * 2)) '$1 ~ /^[0-9.]+$/ && NF >= 5 { printf "    %-16s %7.2f\n", $NF, $4 / polls }' \
        "$WORK/strace-$state.txt" | head -12
done
