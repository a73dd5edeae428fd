#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the poll costs the machine, side by side with its yardsticks, all started together and
# measured over the same seconds while 2.4 MB/s flow through the metered interface (a token
# bucket on a veth pair in a network namespace of its own):
#   - Varnolt hidden, in a real tray (trayer on an X server of its own), against a bare C
#     program reading /proc/net/dev every 500 ms (bench/bare_poller.c, the floor);
#   - Varnolt shown (no tray on its X server, so the monitor window is shown at start), against
#     wmnet at 500 ms (Debian's wmnet, where installed) on an X server of its own;
#   - each X server's CPU for the one shown window it holds;
#   - resident memory, hidden, against a bare Qt tray program (bench/bare_tray.cpp);
#   - the hidden poll's cost at 2 and at 200 interfaces in the namespace (198 veths added
#     between two windows: Varnolt meters none of them, so the cost should not grow).
# CPU and wake-ups come from the kernel's scheduler statistics of every thread of each
# process (/proc/<pid>/task/*/schedstat: time on a CPU, and how many times it was put on one).
#   bench/poll_cost.sh [build folder] [seconds per window] [rounds]
# Needs root (network namespaces), iperf3, tc, Xvfb, trayer and a C compiler; wmnet (with
# xfonts-base for its font) is optional.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds=${2:-120}
rounds=${3:-1}
cmake --build "$build" --target varnolt bare_tray bench_sampling >/dev/null
. "$root/bench/common.bash"
copy_build "$build/bin/varnolt"
require_namespaces tc Xvfb trayer cc
# wmnet draws its label in an X core font, which Xvfb has only with xfonts-base.
command -v wmnet >/dev/null && [ -d /usr/share/fonts/X11/misc ] || echo "wmnet or xfonts-base is not installed: no wmnet row" >&2
cc -O2 -o "$WORK/bare_poller" "$root/bench/bare_poller.c"
cp "$build/bin/bare_tray" "$WORK/bin/"
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 19200kbit

read -r tray_display tray_server < <(x_server tray)
read -r shown_display shown_server < <(x_server shown)
read -r wmnet_display wmnet_server < <(x_server wmnet)
servers=("$tray_server" "$shown_server" "$wmnet_server")
DISPLAY=":$tray_display" trayer --edge bottom --align right --widthtype request --height 28 >/dev/null 2>&1 &
tray_pid=$!
sleep 1

# in_namespace DISPLAY PROGRAM...: runs the program in the metered namespace on that display.
in_namespace() {
    local display=$1
    shift
    mkdir -p "$WORK/home-$display"
    ip netns exec "$NS" env DISPLAY=":$display" QT_QPA_PLATFORM=xcb HOME="$WORK/home-$display" "$@" \
        >/dev/null 2>&1 &
    echo $!
}
names=() pids=()
add() { names+=("$1") pids+=("$2"); }
for copy in hidden shown; do cp -r "$WORK/bin" "$WORK/$copy"; done
add "Varnolt hidden" "$(in_namespace "$tray_display" "$WORK/hidden/varnolt")"
add "Varnolt shown" "$(in_namespace "$shown_display" "$WORK/shown/varnolt")"
add "bare C poller" "$(ip netns exec "$NS" "$WORK/bare_poller" va >/dev/null 2>&1 & echo $!)"
add "bare Qt tray program" "$(in_namespace "$tray_display" "$WORK/bin/bare_tray")"
have_wmnet=0
if command -v wmnet >/dev/null && [ -d /usr/share/fonts/X11/misc ]; then
    add "wmnet at 500 ms" "$(in_namespace "$wmnet_display" wmnet -W va -d 500000)"
    have_wmnet=1
fi
add "X server, Varnolt shown" "$shown_server"
[ "$have_wmnet" = 0 ] || add "X server, wmnet" "$wmnet_server"

# sched PID: nanoseconds on a CPU and times put on one, summed over the process's threads.
# A process that has ended counts nothing (and its row says so).
sched() { { cat /proc/"$1"/task/*/schedstat 2>/dev/null || true; } | awk '{ ns += $1; runs += $3 } END { print ns + 0, runs + 0 }'; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
# Bytes the process has sent to the disk (the page cache's write-back it caused).
disk_bytes() { awk '/^write_bytes:/ { print $2 }' "/proc/$1/io" 2>/dev/null || echo 0; }
cleanup_run() {
    kill "${pids[@]}" "$tray_pid" "${servers[@]}" 2>/dev/null || true
}
trap 'cleanup_run; end_traffic 2>/dev/null || true; cleanup; rm -rf "$WORK"' EXIT

start_traffic 1 -R
sleep 10 # start-up left out

# window LABEL: measures every process for the given seconds; prints a row per process.
declare -A cpu=() wakes=() disk=()
window() {
    local before=() written=() i
    for i in "${!pids[@]}"; do before+=("$(sched "${pids[$i]}")") written+=("$(disk_bytes "${pids[$i]}")"); done
    local traffic_before
    traffic_before=$(counters va)
    sleep "$seconds"
    local traffic
    traffic=($(delta "$traffic_before" "$(counters va)"))
    echo "$1: $(((traffic[0] + traffic[1]) / seconds / 1000)) kB/s through the metered interface for $seconds s"
    printf '  %-26s %12s %14s %12s %14s\n' "" "% of a core" "wake-ups / s" "RSS MB" "disk B / s"
    for i in "${!pids[@]}"; do
        read -r ns0 runs0 <<<"${before[$i]}"
        read -r ns1 runs1 <<<"$(sched "${pids[$i]}")"
        cpu["$1/${names[$i]}"]=$(awk -v a="$ns0" -v b="$ns1" -v s="$seconds" 'BEGIN { printf "%.4f", (b - a) / 1e9 / s * 100 }')
        wakes["$1/${names[$i]}"]=$(awk -v a="$runs0" -v b="$runs1" -v s="$seconds" 'BEGIN { printf "%.2f", (b - a) / s }')
        disk["$1/${names[$i]}"]=$((($(disk_bytes "${pids[$i]}") - ${written[$i]}) / seconds))
        printf '  %-26s %12s %14s %12s %14s\n' "${names[$i]}" "${cpu["$1/${names[$i]}"]}" "${wakes["$1/${names[$i]}"]}" \
            "$(awk -v k="$(rss_kb "${pids[$i]}")" 'BEGIN { printf "%.1f", k / 1024 }')" "${disk["$1/${names[$i]}"]}"
    done
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f x", a / b; else print "-" }'; }

for round in $(seq "$rounds"); do
    window "round $round, 2 interfaces"
done
hidden=${cpu["round 1, 2 interfaces/Varnolt hidden"]}
echo
echo "Ratios (round 1):"
echo "  hidden against the bare C poller:   $(ratio "$hidden" "${cpu["round 1, 2 interfaces/bare C poller"]}")  (goal <= 1.5 x)"
if [ "$have_wmnet" = 1 ]; then
    echo "  shown against wmnet:                $(ratio "${cpu["round 1, 2 interfaces/Varnolt shown"]}" "${cpu["round 1, 2 interfaces/wmnet at 500 ms"]}")  (goal <= 2 x)"
    echo "  X server, shown against wmnet's:    $(ratio "${cpu["round 1, 2 interfaces/X server, Varnolt shown"]}" "${cpu["round 1, 2 interfaces/X server, wmnet"]}")  (goal <= 2 x)"
fi
echo "  wake-ups hidden / shown:            ${wakes["round 1, 2 interfaces/Varnolt hidden"]} / ${wakes["round 1, 2 interfaces/Varnolt shown"]} a second  (goals <= 2.2 and <= 4)"
echo "  RSS hidden against a bare Qt tray:  $(ratio "$(rss_kb "${pids[0]}")" "$(rss_kb "${pids[3]}")")  (goal <= 1.15 x)"
echo "  journal, hidden:                    ${disk["round 1, 2 interfaces/Varnolt hidden"]} B/s to the disk ($((${disk["round 1, 2 interfaces/Varnolt hidden"]} * 86400 / 1000000)) MB a day)"

# 198 more interfaces, none of them metered (veth pairs: the dummy driver is not always there).
for i in $(seq 99); do ip -n "$NS" link add "pc$i" type veth peer name "pd$i"; done
sleep 2
echo
window "200 interfaces"
many=${cpu["200 interfaces/Varnolt hidden"]}
echo
awk -v a="$hidden" -v b="$many" 'BEGIN {
    # two polls a second: % of a core over 100 is seconds a second, so µs per poll = % x 1e4 / 2
    printf "Per poll, hidden: %.1f µs at 2 interfaces, %.1f µs at 200 (%+.1f µs; goal: no growth)\n",
        a * 5000, b * 5000, (b - a) * 5000 }'
# The CPU above holds every wake-up's cost and the machine's noise; the sampler's own pass, timed
# alone on the same two tables, is what grows with the interfaces when anything does.
echo "The sampler's pass alone, one metered interface (bench_sampling --one-chosen):"
"$build/bin/bench_sampling" --one-chosen 2000 | tail -n 2
