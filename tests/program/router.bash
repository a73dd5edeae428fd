# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers of the whole-program checks of a metered router: a home network in three network
# namespaces of the script's own. The router's ($RT) runs miniupnpd (or igd_server.py) with its
# LAN side lan0 at 192.168.77.1 and its WAN side wan0 at 45.77.0.1, and forwards between them;
# the program runs in $NS (lan1 at 192.168.77.2, its default route through the router); the
# internet is $NET (wan1 at 45.77.0.2, iperf3 servers). The router's WAN counters, read in $RT,
# are the reference for every byte the program logs for the household.
# Sourced after common.bash, traffic.bash and copy_build.

ROUTER_URL=http://192.168.77.1:5555/rootDesc.xml

# make_home [TOOL...]: the three namespaces, linked and routed, the router chosen in the
# settings of the database every run starts from; deleted on exit with all that runs in them.
make_home() {
    require_namespaces miniupnpd python3 tc "$@"
    RT=varnolt-rt-$$ NS=varnolt-home-$$ NET=varnolt-net-$$
    trap home_cleanup EXIT
    local n
    for n in "$RT" "$NS" "$NET"; do
        ip netns add "$n"
        ip netns exec "$n" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
        ip -n "$n" link set lo up
    done
    ip netns exec "$RT" sysctl -qw net.ipv4.ip_forward=1
    ip -n "$RT" link add lan0 type veth peer name lan1 netns "$NS"
    ip -n "$RT" addr add 192.168.77.1/24 dev lan0
    ip -n "$NS" addr add 192.168.77.2/24 dev lan1
    ip -n "$RT" link set lan0 up
    ip -n "$NS" link set lan1 up
    pin_neighbours "$RT" lan0 192.168.77.1 "$NS" lan1 192.168.77.2
    ip -n "$NS" route add default via 192.168.77.1
    make_wan
    rows "$db" "delete from settings where Settingname in ('RouterURL', 'RouterName');
        insert into settings values ('RouterURL', '$ROUTER_URL'), ('RouterName', 'Home router');"
    cp "$db" "$WORK/empty.db"
    ROUTER_PID=
    FAILED=()
    PASSED=0
}

# home_cleanup: ends the script's jobs and whatever still runs in its namespaces, deletes the
# namespaces and the work folder.
home_cleanup() { end_namespaces "$RT" "$NS" "$NET"; }

# pin_neighbours NS_A IF_A ADDR_A NS_B IF_B ADDR_B: fixed neighbour entries at both ends of a
# link, so that no ARP request or reply crosses it at a moment the reference cannot see.
pin_neighbours() {
    ip -n "$1" neigh replace "$6" lladdr "$(mac "$4" "$5")" dev "$2" nud permanent
    ip -n "$4" neigh replace "$3" lladdr "$(mac "$1" "$2")" dev "$5" nud permanent
}

# make_wan: the router's WAN link (a new one has counters at 0), with the internet's route back
# to the home network, and a ceiling of 900 Mbit/s each way so that no read ever sees more than
# the 1 Gbit/s a router's link is at least taken to carry, however iperf3 bursts.
make_wan() {
    ip -n "$RT" link add wan0 type veth peer name wan1 netns "$NET"
    ip -n "$RT" addr add 45.77.0.1/24 dev wan0
    ip -n "$NET" addr add 45.77.0.2/24 dev wan1
    ip -n "$RT" link set wan0 up
    ip -n "$NET" link set wan1 up
    pin_neighbours "$RT" wan0 45.77.0.1 "$NET" wan1 45.77.0.2
    ip -n "$NET" route add 192.168.77.0/24 via 45.77.0.1
    [ "${1:-}" = unlimited ] || limit_wan
}

limit_wan() {
    ip netns exec "$RT" tc qdisc replace dev wan0 root tbf rate 900mbit burst 256kb limit 4mb
    ip netns exec "$NET" tc qdisc replace dev wan1 root tbf rate 900mbit burst 256kb limit 4mb
}

unlimit_wan() {
    ip netns exec "$RT" tc qdisc del dev wan0 root 2>/dev/null || true
    ip netns exec "$NET" tc qdisc del dev wan1 root 2>/dev/null || true
}

# reboot_wan: the router's WAN interface deleted and made again (its counters start at 0).
reboot_wan() {
    ip -n "$RT" link del wan0
    make_wan
}

# wan: the router's WAN counters, "received sent" (what the household downloads and uploads).
wan() { counters wan0 "$RT"; }

# start_miniupnpd: miniupnpd as the router, in the foreground with each request in
# $WORK/router.log; returns once it listens. Its uptime counts from its own start.
start_miniupnpd() {
    cat >"$WORK/miniupnpd.conf" <<EOF
ext_ifname=wan0
listening_ip=lan0
port=5555
enable_natpmp=no
enable_upnp=yes
secure_mode=yes
system_uptime=no
uuid=6b0c2f4e-77a1-4f2c-9c55-0a1b2c3d$(printf %04x $(($$ % 65536)))
friendly_name=Home router $$
ext_ip=45.77.0.1
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
    ip netns exec "$RT" miniupnpd -f "$WORK/miniupnpd.conf" -d -v -P "$WORK/miniupnpd.pid" \
        >>"$WORK/router.log" 2>&1 &
    ROUTER_PID=$!
    wait_router_line "HTTP listening on port 5555"
}

# start_igd [ARGS...]: igd_server.py as the router (a 32-bit one that wraps), serving wan0's
# counters, its mode read from $WORK/mode; returns once it listens.
start_igd() {
    echo normal >"$WORK/mode"
    ip netns exec "$RT" python3 "$(dirname "${BASH_SOURCE[0]}")/igd_server.py" --interface wan0 \
        --listen 192.168.77.1 --port 5555 --name "Home router $$" --mode-file "$WORK/mode" \
        --log "$WORK/router.log" "$@" >>"$WORK/router.log" 2>&1 &
    ROUTER_PID=$!
    wait_router_line "listening http://192.168.77.1:5555/"
}

# igd_mode MODE: how igd_server.py answers from its next request on.
igd_mode() { echo "$1" >"$WORK/mode"; }

# stop_router: the router's service ended (SIGTERM) and waited for.
stop_router() {
    kill -TERM "$ROUTER_PID"
    wait "$ROUTER_PID" 2>/dev/null || true
    ROUTER_PID=
}

wait_router_line() {
    for _ in $(seq 100); do
        grep -q -- "$1" "$WORK/router.log" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$WORK/router.log" >&2
    fail "the router did not start: no '$1'"
}

# requests REGEX: how many requests the router has logged that match REGEX (miniupnpd logs a
# request's SOAPAction, igd_server.py "MODE ACTION" or "MODE GET PATH").
requests() {
    local n
    n=$(grep -c -E -- "$1" "$WORK/router.log" 2>/dev/null) || true
    echo "${n:-0}"
}

# wait_requests N REGEX [SECONDS]: waits for N more requests matching REGEX (30 s at most), then
# a second and a half for the rest of the read to be answered and taken by a poll. Returns 1
# when they did not come.
wait_requests() {
    local want=$(($(requests "$2") + $1))
    for _ in $(seq $((${3:-30} * 10))); do
        if [ "$(requests "$2")" -ge "$want" ]; then
            sleep 1.5
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_reads N [MODE] [SECONDS]: waits for N more reads of the received bytes (answered in
# igd_server.py's MODE).
wait_reads() { wait_requests "$1" "${2:+^$2 }.*GetTotalBytesReceived\$" "${3:-30}"; }

# home_run: the program started (start_run) and its first answer from the router waited for,
# which adds nothing: the reference starts here, before any traffic. BEFORE holds the WAN
# counters then.
home_run() {
    PROBLEMS=()
    start_run
    wait_reads 1 || fail "the program did not ask the router for its counters within 30 s"
    BEFORE=$(wan)
}

# end_home_run: traffic has ended; waits for the next read, which sees all of it, and stops the
# program. The WAN counters must not have moved since then (the read saw all there was).
end_home_run() {
    wait_reads 1 || PROBLEMS+=("no read of the router after the traffic")
    local seen
    seen=$(wan)
    stop_run
    [ "$(wan)" = "$seen" ] || PROBLEMS+=("the WAN moved after the last read")
}

# iperf3_to SERVER_NS ADDRESS IPERF3-ARGUMENTS...: one iperf3 test from the program's
# namespace to a one-off server at ADDRESS in SERVER_NS; returns when both ends have ended.
iperf3_to() {
    local there=$1 address=$2
    shift 2
    ip netns exec "$there" iperf3 -s -1 -B "$address" >"$WORK/server.txt" 2>&1 &
    local server=$!
    for _ in $(seq 200); do
        [ -n "$(ip netns exec "$there" ss -Hltn "src $address:5201")" ] && break
        sleep 0.02
    done
    ip netns exec "$NS" iperf3 -c "$address" "$@" >"$WORK/client.txt" 2>&1 \
        || { cat "$WORK/client.txt" >&2; fail "iperf3 $*"; }
    wait "$server" || { cat "$WORK/server.txt" >&2; fail "iperf3 server at $address"; }
}

# internet IPERF3-ARGUMENTS...: a test to the internet, across the router's WAN.
internet() { iperf3_to "$NET" 45.77.0.2 "$@"; }

# lan_only IPERF3-ARGUMENTS...: a test to the router itself, which never crosses the WAN.
lan_only() { iperf3_to "$RT" 192.168.77.1 "$@"; }

# push_wan_to GAP: before a run, unpaced traffic both ways until each WAN counter, modulo
# 2^32, lies GAP to GAP+300 MB below its next multiple of 2^32 (a router that counts in 32 bits
# is about to wrap).
push_wan_to() {
    local gap=$1 turn=$((1 << 32)) c left need d
    unlimit_wan
    for _ in 1 2 3 4 5 6; do
        need=()
        c=($(wan))
        for d in 0 1; do
            left=$(((turn - c[d] % turn) % turn))
            if [ "$left" -ge "$gap" ] && [ "$left" -le $((gap + 300000000)) ]; then
                need+=(0)
            else
                need+=($(((left - gap - 150000000 + turn) % turn)))
            fi
        done
        [ "${need[0]}" -eq 0 ] && [ "${need[1]}" -eq 0 ] && { limit_wan; return 0; }
        # Payload under the goal: the headers add some per cent on the wire.
        [ "${need[0]}" -eq 0 ] || internet -R -n $((need[0] * 95 / 100))
        [ "${need[1]}" -eq 0 ] || internet -n $((need[1] * 95 / 100))
    done
    fail "the WAN counters could not be brought near 2^32: $(wan)"
}

# check_home NAME [PROBLEM...]: the log table against the WAN counters' deltas from BEFORE to
# now (or against WANT, "received sent", when set), with the problems the run found.
check_home() {
    local name=$1 want
    shift
    want=(${WANT:-$(delta "$BEFORE" "$(wan)")})
    WANT=
    check_case "$name" "${want[@]}" "${PROBLEMS[@]}" "$@"
}

# diagnostics: the program's lines (its log and its standard error) that name the router.
diagnostics() { cat "$HOME/varnolt.log" "$WORK/stderr.txt" 2>/dev/null | grep -i -c "router" || true; }

# hostile MODE...: for each mode, 2 s of traffic, a read answered in that mode, then a proper
# read (40 s at most: a silent router holds a read until the program gives up on it). Stops at
# the first mode after which no proper read comes.
hostile() {
    local mode lines said=()
    for mode in "$@"; do
        internet --bidir -b 400M -t 2
        lines=$(diagnostics)
        igd_mode "$mode"
        wait_reads 1 "$mode" 20 || PROBLEMS+=("$mode: not read within 20 s")
        igd_mode normal
        if ! wait_reads 1 normal 40; then
            PROBLEMS+=("$mode: no proper read within 40 s after it")
            break
        fi
        kill -0 "$VARNOLT_PID" 2>/dev/null || { PROBLEMS+=("the program ended on $mode"); break; }
        [ "$(diagnostics)" -gt "$lines" ] || said+=("$mode")
    done
    [ ${#said[@]} -eq 0 ] || PROBLEMS+=("no line names the router after: ${said[*]}")
    internet --bidir -b 400M -t 2
    end_home_run
}
