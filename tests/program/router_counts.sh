#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering a household through its router: miniupnpd in a namespace of its
# own forwards between the program's namespace and an "internet" namespace, and in every case
# the log table holds exactly what the router's WAN interface counted (its kernel counters)
# from the program's first answer from the router to its last: steady traffic both ways,
# traffic on the program's own link alone (nothing: the household is metered at the router),
# the router's service stopped for 20 s while traffic goes on, the router rebooted (a new WAN
# interface counting from 0), and counters past 2^32 from a router that counts wider.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
. "$(dirname "$0")/router.bash"
copy_build "$exe"
# In CI the steady run and the router's silence are shorter (VARNOLT_LONG=1: as below).
steady_s=8 gap_s=20 gap_traffic_s=12
[ "${CI:-}" != true ] || [ "${VARNOLT_LONG:-}" = 1 ] || { steady_s=4 gap_s=12 gap_traffic_s=7; }
make_home
start_miniupnpd

# 1. 800 Mbit/s each way for 8 s through the router.
home_run
internet --bidir -b 800M -t "$steady_s"
end_home_run
check_home "1. 800 Mbit/s both ways for $steady_s s"

# 2. 1 GB between the program's namespace and the router itself: it crosses the program's own
#    interface but not the WAN, so nothing counts (the interfaces are not metered twice).
home_run
lan=$(counters lan1)
lan_only -n 1G
lan_only -R -n 1G
end_home_run
lan=($(delta "$lan" "$(counters lan1)"))
check_home "2. ${lan[0]} bytes in and ${lan[1]} out on the program's own link only" \
    "$([ "${lan[0]}" -ge 1000000000 ] || echo "the LAN traffic did not flow")"

# 3. The router's service stopped for 20 s with traffic going on, then started again (its
#    uptime back at 0, its counters kept): the next answer counts the gap's traffic.
home_run
internet --bidir -b 800M -t 3
wait_reads 1 || PROBLEMS+=("no read before the stop")
stop_router
gap_start=$SECONDS
internet --bidir -b 400M -t "$gap_traffic_s"
sleep $((gap_start + gap_s > SECONDS ? gap_start + gap_s - SECONDS : 0))
start_miniupnpd
internet --bidir -b 800M -t 3
end_home_run
check_home "3. miniupnpd stopped for $gap_s s, 400 Mbit/s both ways for $gap_traffic_s s of it"

# 4. A reboot: the service stopped, the WAN interface deleted and made again (its counters at
#    0), 25 MB each way on the new one before the router answers (it counts from 0), the
#    service started. The last answer before the stop saw all the old interface carried: traffic there
#    after it could never be read.
home_run
internet --bidir -b 800M -t 3
wait_reads 1 || PROBLEMS+=("no read before the reboot")
old=$(wan)
stop_router
reboot_wan
internet --bidir -b 100M -t 2
start_miniupnpd
# The first answer after the reboot must find both counters lower than before it (else the
# router looks like a service restarted with its counters kept).
wait_reads 1 || PROBLEMS+=("no read after the reboot")
internet --bidir -b 800M -t 3
end_home_run
old_wan=($(delta "$BEFORE" "$old"))
new_wan=($(wan))
WANT="$((old_wan[0] + new_wan[0])) $((old_wan[1] + new_wan[1]))"
check_home "4. a reboot: ${old_wan[0]}/${old_wan[1]} bytes before it, ${new_wan[0]}/${new_wan[1]} on the new WAN"

# 5. Counters past 2^32: miniupnpd answers its 32-bit action with the kernel's 64-bit value.
unlimit_wan
internet -R -n 4400M
internet -n 4400M
limit_wan
home_run
internet --bidir -b 800M -t 5
end_home_run
first=($BEFORE)
check_home "5. miniupnpd's counters past 2^32 (${first[0]}/${first[1]} at the first answer)"

finish
