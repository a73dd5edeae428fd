#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the journal of the open row costs the whole program: Varnolt hidden in a real tray
# (trayer on an X server of its own), metering steady traffic (3 MB/s through a token bucket)
# in a network namespace, next to the same program with VARNOLT_JOURNAL=off, both at the
# same time on databases of their own. CPU time is utime + stime from /proc/<pid>/stat over
# the measured seconds, after 10 s of start-up left out.
#   bench/journal_cpu.sh [build folder] [seconds] [copies of each]
# More than one copy of each shows how far two runs of the same program differ anyway.
# Needs root (network namespaces), iperf3, tc, Xvfb and trayer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds=${2:-300}
copies=${3:-1}
cmake --build "$build" --target varnolt >/dev/null
. "$root/tests/program/common.bash"
. "$root/tests/program/traffic.bash"
copy_build "$build/bin/varnolt"
require_namespaces tc Xvfb trayer
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 24mbit

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$WORK/display")" QT_QPA_PLATFORM=xcb
trayer --edge bottom --align right --widthtype request --height 28 >/dev/null 2>&1 &
sleep 1

start_traffic 1 -R
names=() pids=()
for copy in $(seq "$copies"); do
    for journal in on off; do
        folder="$WORK/journal-$journal-$copy"
        cp -r "$WORK/bin" "$folder"
        ip netns exec "$NS" env VARNOLT_JOURNAL="$journal" "$folder/varnolt" >/dev/null 2>&1 &
        names+=("journal $journal ($copy)") pids+=($!)
    done
done
sleep 10
# cpu_ticks PID: user and system time of the whole process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
before=()
for pid in "${pids[@]}"; do before+=("$(cpu_ticks "$pid")"); done
traffic_before=$(counters va)
sleep "$seconds"
traffic=($(delta "$traffic_before" "$(counters va)"))
tick=$(getconf CLK_TCK)

echo "Varnolt hidden in a tray, metering $(((traffic[0] + traffic[1]) / seconds / 1000)) kB/s for $seconds s:"
printf '  %-18s %10s %12s %10s\n' program "CPU ms" "% of a core" "journal"
declare -A total=([on]=0 [off]=0)
for i in "${!pids[@]}"; do
    ticks=$(($(cpu_ticks "${pids[$i]}") - before[i]))
    journal=${names[$i]#journal }
    journal=${journal%% *}
    total[$journal]=$((total[$journal] + ticks))
    folder="$WORK/journal-$journal-$(( i / 2 + 1 ))"
    rows=$(rows "$folder/Varnolt.db" "select count(*) from RowJournal")
    awk -v n="${names[$i]}" -v t="$ticks" -v hz="$tick" -v s="$seconds" -v r="$rows" \
        'BEGIN { printf "  %-18s %10d %12.4f %10s\n", n, t * 1000 / hz, t / hz / s * 100, r ? "a row" : "empty" }'
done
awk -v on="${total[on]}" -v off="${total[off]}" -v n="$copies" -v hz="$tick" -v s="$seconds" 'BEGIN {
    d = (on - off) / n / hz / s * 100
    printf "  journal on - off: %.4f %% of a core (goal: under 0.05 %%) %s\n", d, d < 0.05 ? "ok" : "MISSED" }'
kill "${pids[@]}"
wait "${pids[@]}" 2>/dev/null || true
end_traffic
