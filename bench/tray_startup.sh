#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up time and resident memory of Varnolt next to a bare Qt Widgets program with only a
# tray icon (bench/bare_tray.cpp), both in a real tray (trayer) on an X server of their own.
#   bench/tray_startup.sh [build folder] [runs] [minutes of metering]
# Start-up: from the launch of the process to the tray icon shown (and, for Varnolt, its
# first poll done), by the wall clock in milliseconds. Memory: VmRSS every minute.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs=${2:-10}
minutes=${3:-10}
cmake --build "$build" --target varnolt bare_tray >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home"
cp "$build/bin/varnolt" "$build/bin/Varnolt.db" "$build/bin/"*.wav "$build/bin/Varnolt.html" "$work/bin/"
cp "$build/bin/bare_tray" "$work/bin/"
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" WORK="$work" RUNS="$runs" MINUTES="$minutes"

cat >"$work/inside.sh" <<'SCRIPT'
set -euo pipefail
trayer --edge bottom --align right --widthtype request --height 28 >/dev/null 2>&1 &
trayer_pid=$!
sleep 1
export QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="varnolt.startup.info=true" QT_MESSAGE_PATTERN="%{time yyyy-MM-dd hh:mm:ss.zzz} %{message}"

# Seconds from the launch to the start-up line, for one run of a program.
startup() {
    local out="$WORK/startup.txt"
    : >"$out"
    local launched
    launched=$(date +%s.%N)
    "$@" 2>"$out" &
    local pid=$!
    for _ in $(seq 1000); do grep -q "shown" "$out" && break; sleep 0.01; done
    kill "$pid"; wait "$pid" 2>/dev/null || true
    local line
    line=$(grep "shown" "$out" | head -n 1 | cut -c1-23)
    awk -v a="$(date -d "$line" +%s.%N)" -v b="$launched" 'BEGIN { printf "%.3f\n", a - b }'
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

bare=(); varnolt=()
for _ in $(seq "$RUNS"); do
    bare+=("$(startup "$WORK/bin/bare_tray")")
    rm -f "$WORK/bin/Varnolt.db.lock"
    varnolt+=("$(startup "$WORK/bin/varnolt")")
done
b=$(printf '%s\n' "${bare[@]}" | median)
v=$(printf '%s\n' "${varnolt[@]}" | median)
echo "Start-up, median of $RUNS runs (seconds from the launch):"
printf '  bare tray program: %s s (tray icon shown)\n' "$b"
printf '  Varnolt:           %s s (tray icon shown and first poll done)\n' "$v"
awk -v b="$b" -v v="$v" 'BEGIN { printf "  ratio:             %.2f (goal: at most 1.5)\n", v / b }'

"$WORK/bin/bare_tray" 2>/dev/null & bare_pid=$!
"$WORK/bin/varnolt" 2>/dev/null & varnolt_pid=$!
rss() { awk '/VmRSS/ { print $2 }' "/proc/$1/status"; }
echo "Resident memory (KiB) over $MINUTES minutes of metering:"
printf '  %-7s %10s %10s %7s\n' minute bare Varnolt ratio
for minute in $(seq 0 "$MINUTES"); do
    [ "$minute" -eq 0 ] && sleep 5 || sleep 60
    rb=$(rss "$bare_pid"); rv=$(rss "$varnolt_pid")
    awk -v m="$minute" -v b="$rb" -v v="$rv" 'BEGIN { printf "  %-7s %10d %10d %7.2f\n", m, b, v, v / b }'
done
kill "$bare_pid" "$varnolt_pid" "$trayer_pid"
SCRIPT
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" bash "$work/inside.sh"
