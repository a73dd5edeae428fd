#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The options dialog's Adapters page on a network with a real router: miniupnpd in a namespace
# of the script's own (its LAN 192.168.77.0/24, its WAN towards a namespace that plays the
# internet), and the options test run in a LAN namespace, where the page must list the router
# by its friendly name, found by the search it runs off the window thread, and OK must store
# it. With VARNOLT_ADAPTERS_SCREENSHOT set to a path, the page is saved there as a picture.
set -euo pipefail
build=$2
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/traffic.bash"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
require_namespaces miniupnpd
tst="$build/bin/tst_frmoptions"
[ -x "$tst" ] || skip "$tst is not built (cmake --build build --target tst_frmoptions)"

R=varnolt-rt-$$ LAN=varnolt-lan-$$ NET=varnolt-wan-$$
name="Test Router $$"
cleanup_router() {
    local pids n
    pids="$(jobs -p) $(for n in "$R" "$LAN" "$NET"; do ip netns pids "$n" 2>/dev/null; done)"
    [ -z "${pids// /}" ] || kill -9 $pids 2>/dev/null || true
    wait 2>/dev/null || true
    for n in "$R" "$LAN" "$NET"; do ip netns del "$n" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup_router EXIT
for n in "$R" "$LAN" "$NET"; do
    ip netns add "$n"
    ip netns exec "$n" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    ip -n "$n" link set lo up
done
ip -n "$R" link add lan0 type veth peer name eth0 netns "$LAN"
ip -n "$R" link add wan0 type veth peer name eth0 netns "$NET"
ip -n "$R" addr add 192.168.77.1/24 dev lan0
ip -n "$R" addr add 45.77.0.1/24 dev wan0
ip -n "$LAN" addr add 192.168.77.2/24 dev eth0
ip -n "$NET" addr add 45.77.0.2/24 dev eth0
for end in "$R lan0" "$R wan0" "$LAN eth0" "$NET eth0"; do
    set -- $end
    ip -n "$1" link set "$2" up
done
# The search's multicast goes out by the LAN's default route, as on a home network.
ip -n "$LAN" route add default via 192.168.77.1
ip -n "$R" route add default via 45.77.0.2

cat >"$WORK/miniupnpd.conf" <<EOF
ext_ifname=wan0
listening_ip=lan0
port=5555
enable_natpmp=no
enable_upnp=yes
secure_mode=yes
system_uptime=no
uuid=3c1e1f3a-6b1d-4c55-9d2e-$(printf '%012d' $$)
friendly_name=$name
ext_ip=45.77.0.1
lease_file=$WORK/leases
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
# A pid file of its own: another test may run its own miniupnpd at the same time.
ip netns exec "$R" miniupnpd -f "$WORK/miniupnpd.conf" -P "$WORK/miniupnpd.pid" -d >"$WORK/miniupnpd.txt" 2>&1 &
for _ in $(seq 100); do
    [ -n "$(ip netns exec "$R" ss -Hltn 'sport = :5555')" ] && break
    sleep 0.05
done
[ -n "$(ip netns exec "$R" ss -Hltn 'sport = :5555')" ] \
    || { cat "$WORK/miniupnpd.txt" >&2; fail "miniupnpd does not listen on 192.168.77.1:5555"; }

shot=()
[ -z "${VARNOLT_ADAPTERS_SCREENSHOT:-}" ] || shot=(VARNOLT_ADAPTERS_SCREENSHOT="$VARNOLT_ADAPTERS_SCREENSHOT")
ip netns exec "$LAN" env QT_QPA_PLATFORM=offscreen HOME="$WORK" VARNOLT_TEST_ROUTER_NAME="$name" \
    VARNOLT_TEST_ROUTER_URL="http://192.168.77.1:5555/rootDesc.xml" "${shot[@]}" \
    "$tst" adaptersPageFindsTheRouter >"$WORK/test.txt" 2>&1 || {
    cat "$WORK/test.txt" >&2
    echo "--- miniupnpd:" >&2
    cat "$WORK/miniupnpd.txt" >&2
    fail "the Adapters page did not find and store '$name'"
}
grep -q '^PASS   : TestFrmOptions::adaptersPageFindsTheRouter()' "$WORK/test.txt" \
    || { cat "$WORK/test.txt" >&2; fail "the test did not pass (skipped?)"; }
echo "PASS: the Adapters page lists '$name' and OK stores it"
