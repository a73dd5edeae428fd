#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering a household through a router (igd_server.py) that answers, one read
# at a time, what no honest router answers: 50 MB, an answer cut short, a header line that never
# ends, no answer at all, numbers that are not plain decimal ("12abc", "-5", "0x10", "1e9", " 12",
# ""), an entity bomb, an external entity, a field given twice, a SOAP
# fault. After each, a proper read. The program keeps running, says what went wrong, counts
# nothing of the hostile answers, and the log table holds exactly what the router's WAN counted
# (traffic flows before every hostile read, and the next proper answer counts it).
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
. "$(dirname "$0")/router.bash"
copy_build "$exe"
make_home
start_igd

# diagnostics: the program's lines (its log and its standard error) that name the router.
diagnostics() { cat "$HOME/varnolt.log" "$WORK/stderr.txt" 2>/dev/null | grep -i -c "router" || true; }

home_run
said=()
for mode in huge truncated endless silent text neg hex exp space empty bomb external duplicate fault; do
    internet --bidir -b 400M -t 2
    lines=$(diagnostics)
    igd_mode "$mode"
    wait_reads 1 "$mode" 20 || PROBLEMS+=("$mode: not read within 20 s")
    igd_mode normal
    # silent: the program's read waits for its timeout before the next one
    wait_reads 1 normal 40 || PROBLEMS+=("$mode: no proper read within 40 s after it")
    kill -0 "$VARNOLT_PID" 2>/dev/null || { PROBLEMS+=("the program ended on $mode"); break; }
    [ "$(diagnostics)" -gt "$lines" ] || said+=("$mode")
done
[ ${#said[@]} -eq 0 ] || PROBLEMS+=("no line names the router after: ${said[*]}")
internet --bidir -b 400M -t 2
end_home_run
check_home "1. fourteen hostile answers, each after 2 s at 400 Mbit/s both ways"
echo "   the program's lines on the router:"
cat "$HOME/varnolt.log" "$WORK/stderr.txt" 2>/dev/null | grep -i "router" | sort | uniq -c | sort -rn | head -20 | sed 's/^/     /'

finish
