#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering a household through a router that counts in 32 bits and wraps
# (igd_server.py, serving its WAN interface's kernel counters modulo 2^32): the log table holds
# exactly what the kernel counted across a wrap in both directions, and a router whose
# description is hostile at first (50 MB, not XML, nested entities) is read once it serves a
# proper one, with nothing counted before.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
. "$(dirname "$0")/router.bash"
copy_build "$exe"
make_home
start_igd

# 1. Both counters 300 to 600 MB short of 2^32 at the first answer (bytes pushed through the
#    WAN before the program starts), then 800 Mbit/s both ways for 8 s: each wraps once.
push_wan_to 300000000
home_run
internet --bidir -b 800M -t 8
end_home_run
first=($BEFORE) last=($(wan))
for d in 0 1; do
    [ $((first[d] >> 32)) -lt $((last[d] >> 32)) ] || PROBLEMS+=("counter $d did not pass 2^32")
done
check_home "1. a 32-bit router's counters wrap ($((first[0] % (1 << 32)))/$((first[1] % (1 << 32))) to $((last[0] % (1 << 32)))/$((last[1] % (1 << 32))))"

# 2. A description of 50 MB, then one that is no XML, then one of nested entities: each asked
#    for and refused, the program running on; then a proper one, and counting from its first
#    answer.
igd_mode desc-huge
PROBLEMS=()
start_run
for mode in desc-huge desc-garbage desc-bomb; do
    igd_mode "$mode"
    wait_requests 1 "^$mode GET /rootDesc.xml" 20 || PROBLEMS+=("$mode: the description was not asked for within 20 s")
    kill -0 "$VARNOLT_PID" 2>/dev/null || { PROBLEMS+=("the program ended on $mode"); break; }
done
igd_mode normal
wait_reads 1 normal 30 || PROBLEMS+=("no read within 30 s of a proper description")
BEFORE=$(wan)
internet --bidir -b 800M -t 3
end_home_run
check_home "2. a hostile description at first, then a proper one"

finish
