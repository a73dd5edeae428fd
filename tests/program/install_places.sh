#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An installed copy in a folder its user cannot write keeps its data in
# $XDG_DATA_HOME/varnolt/, seeded from the shipped empty database, which stays untouched.
# Its help page comes with every picture it shows.
set -euo pipefail
exe=$1 build=$2
. "$(dirname "$0")/common.bash"
WORK=$(mktemp -d)
trap 'end_varnolt; chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"
cmake --install "$build" --prefix "$WORK/prefix" >/dev/null
installed=$(readlink -f "$WORK/prefix/bin/varnolt")
[ -x "$installed" ] || fail "no installed program"
[ -f "$(dirname "$installed")/Varnolt.db" ] || fail "no database beside the installed program"
# The help page is installed beside the program with every picture it shows.
page="$(dirname "$installed")/Varnolt.html"
[ -f "$page" ] || fail "no help page beside the installed program"
pictures=$(grep -o 'src="[^"]*"' "$page" | sed 's/^src="//; s/"$//')
[ -n "$pictures" ] || fail "the installed help page shows no picture"
for picture in $pictures; do
    [ -f "$(dirname "$page")/$picture" ] || fail "the installed help page shows $picture, which is not installed"
done
chmod -R a-w "$WORK/prefix"

mkdir -p "$WORK/home"
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/data"
runner=()
# Root writes everywhere; run as "nobody" so that the read-only prefix means what it says.
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$WORK/home"
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
"${runner[@]}" "$WORK/prefix/bin/varnolt" >"$WORK/stdout.txt" 2>"$WORK/stderr.txt" &
VARNOLT_PID=$!
for _ in $(seq 200); do
    [ -f "$XDG_DATA_HOME/varnolt/Varnolt.db" ] && break
    sleep 0.1
done
sleep 1
stop_varnolt TERM || fail "exit status $?"

own="$XDG_DATA_HOME/varnolt/Varnolt.db"
[ -f "$own" ] || { cat "$WORK/stderr.txt" >&2; fail "no database seeded in the data folder"; }
[ "$(rows "$own" "select count(*) from Log")" -eq 1 ] || fail "the user's database lacks the run's row"
[ "$(rows "$(dirname "$installed")/Varnolt.db" "select count(*) from Log")" -eq 0 ] || fail "shipped database changed"
echo "1 passed, 0 failed"
