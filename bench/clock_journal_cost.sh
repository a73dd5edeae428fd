#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the wall clock and the journal of the open row cost per poll, counted in system calls
# rather than timed, so that a busy machine does not blur the figures: the program runs
# under strace for SECONDS while 3 MB/s flow through the metered interface (a token bucket on
# a veth pair in a network namespace of its own), and this prints
#   - the look-ups of the time zone's files (stat, openat of /etc/localtime and the zone
#     files) per poll;
#   - the journal's writes to the write-ahead log: how many, and the bytes of each;
#   - the flushes (fdatasync, fsync) and the bytes written to the database and its log per second,
#     and what /proc/PID/io counted (write_bytes: what reached the block device).
#   bench/clock_journal_cost.sh [build folder] [seconds]
# Needs root (network namespaces), iperf3, tc and strace.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds=${2:-30}
. "$root/bench/common.bash"
copy_build "$build/bin/varnolt"
require_namespaces tc strace
make_namespaces
make_link "$NS" va "$PEER" vb 1
limit_rate 24mbit

rm -f "$db-wal" "$db-shm"
: >"$HOME/varnolt.log"
trace="$WORK/trace.txt"
QT_QPA_PLATFORM=offscreen start_varnolt ip netns exec "$NS" strace -f -tt -y -o "$trace" \
    -e trace=stat,lstat,newfstatat,statx,openat,access,readlink,pwrite64,write,fdatasync,fsync \
    "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
sleep 2
pid=$(pgrep -P "$VARNOLT_PID" -x varnolt || true)
for _ in $(seq 50); do [ -n "$pid" ] && break; sleep 0.1; pid=$(pgrep -P "$VARNOLT_PID" -x varnolt || true); done
[ -n "$pid" ] || fail "the program's pid was not found"
start_traffic 1 -R
sleep 2
io() { awk -v k="$1" '$1 == k":" { print $2 }' "/proc/$pid/io"; }
from_line=$(wc -l <"$trace")
bytes0=$(io write_bytes) wchar0=$(io wchar)
sleep "$seconds"
to_line=$(wc -l <"$trace")
bytes1=$(io write_bytes) wchar1=$(io wchar)
end_traffic
kill -TERM "$pid"
wait_varnolt || true

sed -n "$((from_line + 1)),${to_line}p" "$trace" >"$WORK/window.txt"
[ -z "${KEEP_TRACE:-}" ] || cp "$WORK/window.txt" "$KEEP_TRACE"
polls=$((seconds * 2))
python3 - "$WORK/window.txt" "$polls" "$seconds" "$((bytes1 - bytes0))" "$((wchar1 - wchar0))" <<'EOF'
import re, sys
path, polls, seconds, block_bytes, wchar = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
zone = re.compile(r'(localtime|/etc/timezone|zoneinfo)')
lookups, wal_writes, headers, db_writes, flushes = 0, [], [], 0, 0
# A journal write: the frames written to the write-ahead log between two of its flushes.
frame_bytes = 0
for line in open(path):
    call = re.search(r'\d\d:\d\d:\d\d\.\d+ (\w+)\((.*)', line)
    if not call:
        continue
    name, rest = call.groups()
    if name in ('stat', 'lstat', 'newfstatat', 'statx', 'openat', 'access', 'readlink') and zone.search(rest):
        lookups += 1
    elif name in ('pwrite64', 'write') and '-wal>' in rest:
        m = re.search(r'= (\d+)$', line.strip())
        frame_bytes += int(m.group(1)) if m else 0
    elif name in ('pwrite64', 'write') and re.search(r'\.db>', rest):
        m = re.search(r'= (\d+)$', line.strip())
        db_writes += int(m.group(1)) if m else 0
    elif name in ('fdatasync', 'fsync'):
        flushes += 1
        if '-wal>' in rest and frame_bytes:
            # The log's header alone (32 bytes) is flushed when it starts afresh after a checkpoint.
            (headers if frame_bytes == 32 else wal_writes).append(frame_bytes)
            frame_bytes = 0
print(f"polls in the window              {polls} ({seconds} s)")
print(f"time zone file look-ups per poll {lookups / polls:.2f} ({lookups})")
print(f"journal writes (log flushes)     {len(wal_writes)}")
if wal_writes:
    print(f"bytes per journal write          {sum(wal_writes) / len(wal_writes):.0f} (min {min(wal_writes)}, max {max(wal_writes)})")
print(f"log headers written afresh       {len(headers)}")
print(f"bytes to the write-ahead log /s  {(sum(wal_writes) + sum(headers)) / seconds:.0f}")
print(f"bytes to the database file /s    {db_writes / seconds:.0f} (checkpoints)")
print(f"flushes (fsync, fdatasync) /s    {flushes / seconds:.2f}")
print(f"/proc io write_bytes /s          {block_bytes / seconds:.0f}")
print(f"/proc io wchar /s                {wchar / seconds:.0f}")
EOF
