# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers of the whole-program byte-count checks: the real program in a network namespace of
# the script's own, veth links to a peer namespace, traffic between the two with iperf3, and
# the kernel's own counters as the reference for every byte in the log table.
# Sourced after common.bash and copy_build; the program's namespace is $NS, the peer's $PEER,
# and $SIDE is where an interface gathers history before it joins the program's namespace.

# skip REASON: ends the script as skipped (ctest counts exit code 77 as a skip).
skip() {
    echo "SKIP: $*"
    exit 77
}

# require_namespaces [TOOL...]: skips unless the script runs as root, can make network
# namespaces and finds the tools.
require_namespaces() {
    [ "$(id -u)" -eq 0 ] || skip "network namespaces need root (run the suite as root, as CI does)"
    local tool
    for tool in ip ss iperf3 jq sqlite3 "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh installs it)"
    done
    local probe=varnolt-probe-$$
    ip netns add "$probe" 2>"$WORK/probe.txt" || skip "ip netns add failed: $(cat "$WORK/probe.txt")"
    ip netns del "$probe"
}

# make_namespaces: the three namespaces, without IPv6 (router solicitations and duplicate
# address checks would cross the links), deleted on exit with everything started in them.
make_namespaces() {
    NS=varnolt-prog-$$ PEER=varnolt-peer-$$ SIDE=varnolt-side-$$
    trap cleanup EXIT
    local n
    for n in "$NS" "$PEER" "$SIDE"; do
        ip netns add "$n"
        ip netns exec "$n" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    done
    cp "$db" "$WORK/empty.db"
    FAILED=()
    PASSED=0
}

# cleanup: ends what the script started (its jobs, and whatever still runs in its own
# namespaces after a failure, such as an iperf3 server waiting for its client), then deletes
# the namespaces and the work folder.
cleanup() { end_namespaces "$NS" "$PEER" "$SIDE"; }

# end_namespaces NAMESPACE...: the script's jobs and whatever still runs in the namespaces
# ended, the namespaces deleted, and the work folder.
end_namespaces() {
    local pids n
    pids="$(jobs -p) $(for n in "$@"; do ip netns pids "$n" 2>/dev/null; done)"
    [ -z "${pids// /}" ] || kill -9 $pids 2>/dev/null || true
    wait 2>/dev/null || true
    for n in "$@"; do ip netns del "$n" 2>/dev/null || true; done
    rm -rf "$WORK"
}

mac() { ip -n "$1" -j link show dev "$2" | jq -r '.[0].address'; }

# attach HERE IF THERE PEER_IF NET: IF (in HERE) gets 10.199.NET.1, is brought up, and both
# ends get fixed neighbour entries, so that no ARP request or reply ever crosses the link.
attach() {
    local here=$1 if=$2 there=$3 peer_if=$4 net=$5
    ip -n "$here" addr add "10.199.$net.1/24" dev "$if"
    ip -n "$here" link set "$if" up
    ip -n "$here" neigh replace "10.199.$net.2" lladdr "$(mac "$there" "$peer_if")" dev "$if" nud permanent
    ip -n "$there" neigh replace "10.199.$net.1" lladdr "$(mac "$here" "$if")" dev "$peer_if" nud permanent
}

# make_link HERE IF THERE PEER_IF NET: a veth pair between the namespaces HERE and THERE,
# 10.199.NET.1 at IF and 10.199.NET.2 at PEER_IF.
make_link() {
    local here=$1 if=$2 there=$3 peer_if=$4 net=$5
    ip -n "$here" link add "$if" type veth peer name "$peer_if" netns "$there"
    ip -n "$there" addr add "10.199.$net.2/24" dev "$peer_if"
    ip -n "$there" link set "$peer_if" up
    attach "$@"
}

# counters IF [NAMESPACE]: the kernel's received and sent byte counters of IF, "rx tx".
counters() {
    ip -n "${2:-$NS}" -s -j link show dev "$1" | jq -r '.[0].stats64 | "\(.rx.bytes) \(.tx.bytes)"'
}

# delta BEFORE AFTER: "rx tx" of AFTER minus BEFORE, each given as "rx tx".
delta() {
    local b=($1) a=($2)
    echo "$((a[0] - b[0])) $((a[1] - b[1]))"
}

# start_server NET: a one-off iperf3 server at 10.199.NET.2 in the peer namespace, listening
# when this returns; its pid goes to SERVER_PID.
start_server() {
    ip netns exec "$PEER" iperf3 -s -1 -B "10.199.$1.2" >"$WORK/server-$1.txt" 2>&1 &
    SERVER_PID=$!
    for _ in $(seq 200); do
        [ -n "$(ip netns exec "$PEER" ss -Hltn "src 10.199.$1.2:5201")" ] && break
        sleep 0.02
    done
}

# transfer FROM NET IPERF3-ARGUMENTS...: one iperf3 test from namespace FROM to a one-off
# server at 10.199.NET.2 in the peer namespace. Returns when both ends have ended, so that
# no packet of it is still under way.
transfer() {
    local from=$1 net=$2 server
    shift 2
    start_server "$net"
    server=$SERVER_PID
    ip netns exec "$from" iperf3 -c "10.199.$net.2" "$@" >"$WORK/client-$net.txt" 2>&1 \
        || { cat "$WORK/client-$net.txt" >&2; fail "iperf3 $*"; }
    wait "$server" || { cat "$WORK/server-$net.txt" >&2; fail "iperf3 server on 10.199.$net.2"; }
}

# limit_rate RATE: both ends of the va-vb link send at most RATE (tc's units, such as 24mbit),
# through a token bucket in the kernel, so that traffic flows at a known, steady rate however
# the sender behaves (iperf3's own rate limit sends a burst to catch up after a pause).
limit_rate() {
    ip netns exec "$NS" tc qdisc replace dev va root tbf rate "$1" burst 16kb limit 32kb
    ip netns exec "$PEER" tc qdisc replace dev vb root tbf rate "$1" burst 16kb limit 32kb
}

# start_traffic NET IPERF3-ARGUMENTS...: a long iperf3 test from $NS to a server at
# 10.199.NET.2, in the background, with small socket buffers (-w 32K) so that a pause takes
# effect within milliseconds; pause_traffic, resume_traffic and end_traffic act on it.
start_traffic() {
    local net=$1 server client
    shift
    start_server "$net"
    server=$SERVER_PID
    ip netns exec "$NS" iperf3 -c "10.199.$net.2" -w 32K -t 3600 "$@" >"$WORK/client-$net.txt" 2>&1 &
    client=$!
    TRAFFIC_PIDS="$server $client"
    # Only the sending end is paused: a receiver that goes on reading keeps its window open,
    # so that the sender's kernel sends no window probes while the test stands still.
    TRAFFIC_SENDER=$client
    [[ " $* " != *" -R "* ]] || TRAFFIC_SENDER=$server
}

# pause_traffic: stops the sending end and returns when the link's counters have stood
# still for 200 ms (what was under way has arrived, the last acknowledgements have gone).
pause_traffic() {
    kill -STOP "$TRAFFIC_SENDER"
    settle
}

# settle: waits until va's counters stand still for 200 ms (5 s at most).
settle() {
    local last now
    last=$(counters va)
    for _ in $(seq 25); do
        sleep 0.2
        now=$(counters va)
        [ "$now" = "$last" ] && return 0
        last=$now
    done
    fail "va's counters do not stand still"
}

resume_traffic() { kill -CONT "$TRAFFIC_SENDER"; }

end_traffic() {
    kill -CONT "$TRAFFIC_SENDER" 2>/dev/null || true
    kill $TRAFFIC_PIDS 2>/dev/null || true
    wait $TRAFFIC_PIDS 2>/dev/null || true
    settle
}

# start_run [COMMAND...]: the program, with an empty log table (and no write-ahead log left by
# an earlier run) and a fresh debug log, started
# with "/debug" inside $NS (through COMMAND, such as "env LD_PRELOAD=..."); returns after its
# first polls, which nothing has moved since the links were made.
start_run() {
    rm -f "$db-wal" "$db-shm"
    cp "$WORK/empty.db" "$db"
    : >"$HOME/varnolt.log"
    start_varnolt ip netns exec "$NS" "$@" "$WORK/bin/varnolt" /debug
    wait_for_line "$HOME/varnolt.log" ": Init Done"
    sleep 1
}

# stop_run: SIGTERM, and the program's end.
stop_run() {
    stop_varnolt TERM || fail "exit status $? on SIGTERM"
}

# check_case NAME KERNEL_RX KERNEL_TX [PROBLEM...]: the bytes of the log table against the
# kernel's deltas over the run, which must be equal to the byte, and no row ending before it
# starts. Prints both sums, their difference and the rows; a failure (or a problem the case
# found itself) is counted and the next case runs.
check_case() {
    local name=$1 want_rx=$2 want_tx=$3 got_rx got_tx backwards
    shift 3
    local problems=() problem
    for problem in "$@"; do [ -z "$problem" ] || problems+=("$problem"); done
    IFS='|' read -r got_rx got_tx \
        < <(rows "$db" "select coalesce(sum(BytesRcvd), 0), coalesce(sum(BytesSent), 0) from Log")
    backwards=$(rows "$db" "select count(*) from Log where DateAndTimeEnd < DateAndTimeStart")
    echo "== $name"
    printf '   %-20s received %13s   sent %13s\n' "kernel delta" "$want_rx" "$want_tx" "logged" "$got_rx" "$got_tx"
    if [[ $got_rx =~ ^[0-9]+$ && $got_tx =~ ^[0-9]+$ ]]; then
        printf '   %-20s received %13s   sent %13s\n' "kernel - logged" "$((want_rx - got_rx))" "$((want_tx - got_tx))"
    fi
    echo "   rows (start | end | sent | received | average kB/s):"
    rows "$db" "select * from Log order by rowid" | sed 's/^/     /'
    [ "$got_rx" = "$want_rx" ] || problems+=("received bytes differ")
    [ "$got_tx" = "$want_tx" ] || problems+=("sent bytes differ")
    [ "$backwards" -eq 0 ] || problems+=("$backwards row(s) end before they start")
    expect_ok "$name" "${problems[@]}"
}

# expect_ok NAME [PROBLEM...]: counts the case as passed without problems, as failed with them.
expect_ok() {
    local name=$1
    shift
    if [ $# -eq 0 ]; then
        echo "   PASS"
        PASSED=$((PASSED + 1))
        return
    fi
    local problem
    for problem in "$@"; do echo "   FAIL: $problem"; done
    FAILED+=("$name: $(IFS=';'; echo "$*")")
}

# finish: the summary line, and the exit status.
finish() {
    echo "$PASSED passed, ${#FAILED[@]} failed"
    [ ${#FAILED[@]} -eq 0 ] && return 0
    printf 'FAIL: %s\n' "${FAILED[@]}" >&2
    exit 1
}
