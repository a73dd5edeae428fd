#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads every include of src/ and fails on one that runs from a lower folder to a higher one,
# or between two folders of the same floor. The floors, from the bottom up:
#   core < controls < desktop < monitor < options | stats < shell < app | report
# Inside core, the database (core/store) never includes the metering (core/traffic).
set -euo pipefail
cd "$(dirname "$0")/../src"
declare -A floor=([core]=0 [controls]=1 [desktop]=2 [monitor]=3 [options]=4 [stats]=4
                  [shell]=5 [app]=6 [report]=6)
status=0
while IFS=: read -r file line text; do
    from=${file%%/*}
    to=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([a-z]+)\/.*/\1/' <<<"$text")
    [ "$from" = "$to" ] && continue
    if [ -z "${floor[$from]:-}" ] || [ -z "${floor[$to]:-}" ]; then
        echo "$file:$line: folder without a floor: $text"; status=1
    elif (( floor[$to] >= floor[$from] )); then
        echo "$file:$line: $from (floor ${floor[$from]}) includes $to (floor ${floor[$to]}): $text"; status=1
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' --include='*.h' --include='*.cpp' .  | sed 's#^\./##')
if grep -rnE '#[[:space:]]*include[[:space:]]*"core/traffic/' core/store; then
    echo "the database (core/store) includes the metering (core/traffic)"; status=1
fi
[ $status = 0 ] && echo "every include runs down a floor"
exit $status
