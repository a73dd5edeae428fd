#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program metering a household through a router (igd_server.py) that once answers with
# a header line that never ends (50 MB without a line break): the program reads the router
# properly again within 40 s of its next proper answer, and the log table holds exactly what the
# router's WAN counted.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
. "$(dirname "$0")/router.bash"
copy_build "$exe"
make_home
start_igd

home_run
hostile endless
check_home "1. an endless header line, after 2 s at 400 Mbit/s both ways"

finish
