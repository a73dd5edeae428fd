#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program in a network namespace of its own, metering real TCP traffic on veth links
# to a peer namespace: in every case the log table holds exactly the bytes the kernel counted
# on the metered interfaces (every interface but loopback) from the program's first poll to its
# end, across row closes under traffic, a stop right after a burst, an interface deleted and
# made again, and an interface that joins with a history of its own.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
copy_build "$exe"
require_namespaces
make_namespaces
make_link "$NS" va "$PEER" vb 1

# size_closes: the rows that were closed by the row size limit.
size_closes() { rows "$db" "select count(*) from Log where BytesRcvd > 2000000000 or BytesSent > 2000000000"; }

# 1. 5 GiB received at full speed: the rows close at 2,000,000,000 bytes while the data
#    flows, and every close hands its last reading on to the next row.
start_run
before=$(counters va)
transfer "$NS" 1 -R -n 5G
sleep 1
stop_run
want=($(delta "$before" "$(counters va)"))
closes=$(size_closes)
check_case "1. 5 GiB received at full speed, rows closed by size under traffic ($closes closes)" "${want[@]}" \
    "$([ "$closes" -ge 2 ] || echo "only $closes row(s) closed by size, 2 or more expected")"

# 2. 1 Gbit/s sent for 18 s: one close by the row size limit under steady traffic.
start_run
before=$(counters va)
transfer "$NS" 1 -b 1G -t 18
sleep 1
stop_run
want=($(delta "$before" "$(counters va)"))
closes=$(size_closes)
check_case "2. 1 Gbit/s sent for 18 s, one row closed by size ($closes closes)" "${want[@]}" \
    "$([ "$closes" -ge 1 ] || echo "no row closed by size")"

# 4. SIGTERM right after a burst: the last poll has not seen the burst's tail, so the last
#    row needs a fresh reading.
start_run
before=$(counters va)
transfer "$NS" 1 -R -b 2G -t 2
ended=$(date +%s%N)
kill -TERM "$VARNOLT_PID"
late=$((($(date +%s%N) - ended) / 1000000))
stop_run
want=($(delta "$before" "$(counters va)"))
check_case "4. SIGTERM ${late} ms after a 2 s burst at 2 Gbit/s" "${want[@]}"

# 5. The metered link deleted and made again under its name. Traffic stops a second before,
#    so that the program's polls have read all the old link carried (what it carries after
#    the last poll cannot be read once it is gone), and starts again on the new link as soon
#    as it is up, before the program has seen it: all the new link carries counts.
start_run
before=$(counters va)
transfer "$NS" 1 -b 1G -t 2
sleep 1
old=$(counters va)
ip -n "$NS" link del va
make_link "$NS" va "$PEER" vb 1
transfer "$NS" 1 -b 1G -t 2
sleep 1
stop_run
old_link=($(delta "$before" "$old"))
new_link=($(counters va))
check_case "5. link deleted and made again, 2 s at 1 Gbit/s on each" \
    "$((old_link[0] + new_link[0]))" "$((old_link[1] + new_link[1]))"

# 6. An interface that carried about 20 MB elsewhere is moved into the program's namespace
#    during the run: what it carried before adds nothing, what it carries after counts.
make_link "$SIDE" vc "$PEER" vd 3
transfer "$SIDE" 3 -n 20M
start_run
before=$(counters va)
transfer "$NS" 1 -b 1G -t 1
ip -n "$SIDE" link set vc netns "$NS"
attach "$NS" vc "$PEER" vd 3
joined=$(counters vc)
sleep 1
transfer "$NS" 3 -n 5M
transfer "$NS" 1 -R -b 1G -t 1
sleep 1
stop_run
on_va=($(delta "$before" "$(counters va)"))
on_vc=($(delta "$joined" "$(counters vc)"))
history=($joined)
check_case "6. an interface with $((history[0] + history[1])) bytes of history joins" \
    "$((on_va[0] + on_vc[0]))" "$((on_va[1] + on_vc[1]))"

finish
