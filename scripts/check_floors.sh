#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads every include of src/ and fails on one that runs from a lower folder to a higher one,
# or between two folders of the same floor. The floors, from the bottom up:
#   core < controls | router < desktop < monitor < options | stats < shell < app | report
# Inside core, the database (core/store) never includes the metering (core/traffic).
set -euo pipefail
cd "$(dirname "$0")/../src"
grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' --include='*.h' --include='*.cpp' . \
| awk '
BEGIN {
    n = split("core controls router desktop monitor options stats shell app report", names, " ")
    split("0 1 1 2 3 4 4 5 6 6", levels, " ")
    for (i = 1; i <= n; i++) floor[names[i]] = levels[i]
}
{
    sub(/^\.\//, "")
    split($0, place, ":"); file = place[1]; line = place[2]
    from = file; sub(/\/.*/, "", from)
    to = $0; sub(/^[^"]*"/, "", to); sub(/\/.*/, "", to)
    text = $0; sub(/^[^:]*:[^:]*:/, "", text)
    if (from == "core" && file ~ /^core\/store\// && text ~ /"core\/traffic\//) {
        print file ":" line ": the database (core/store) includes the metering: " text; bad = 1
    }
    if (from == to) next
    if (!(from in floor) || !(to in floor)) {
        print file ":" line ": folder without a floor: " text; bad = 1
    } else if (floor[to] >= floor[from]) {
        print file ":" line ": " from " (floor " floor[from] ") includes " to " (floor " floor[to] "): " text; bad = 1
    }
}
END {
    if (bad) exit 1
    print "every include runs down a floor"
}'
