#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The options dialog's Adapters page on a home network with a real router (miniupnpd, as the
# household checks make it): the options test runs where the program would, and the page must
# list the router by its friendly name, found by the search it runs off the window thread, and
# OK must store it. With VARNOLT_ADAPTERS_SCREENSHOT set to a path, the page is saved there.
set -euo pipefail
exe=$1 build=$2
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
. "$(dirname "$0")/router.bash"
tst="$build/bin/tst_frmoptions"
[ -x "$tst" ] || skip "$tst is not built (cmake --build build --target tst_frmoptions)"
copy_build "$exe"
make_home
start_miniupnpd
name="Home router $$"

shot=()
[ -z "${VARNOLT_ADAPTERS_SCREENSHOT:-}" ] || shot=(VARNOLT_ADAPTERS_SCREENSHOT="$VARNOLT_ADAPTERS_SCREENSHOT")
ip netns exec "$NS" env QT_QPA_PLATFORM=offscreen HOME="$WORK" VARNOLT_TEST_ROUTER_NAME="$name" \
    VARNOLT_TEST_ROUTER_URL="$ROUTER_URL" "${shot[@]}" \
    "$tst" adaptersPageFindsTheRouter >"$WORK/test.txt" 2>&1 || {
    cat "$WORK/test.txt" "$WORK/router.log" >&2
    fail "the Adapters page did not find and store '$name'"
}
grep -q '^PASS   : TestFrmOptions::adaptersPageFindsTheRouter()' "$WORK/test.txt" \
    || { cat "$WORK/test.txt" >&2; fail "the test did not pass (skipped?)"; }
echo "PASS: the Adapters page lists '$name' and OK stores it"
