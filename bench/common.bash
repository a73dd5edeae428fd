# SPDX-License-Identifier: GPL-3.0-or-later
# What the benches that run the whole program share: the program tests' helpers (a copy of the
# build, namespaces, traffic) and an X server of a bench's own. Sourced with $root set.
. "$root/tests/program/common.bash"
. "$root/tests/program/traffic.bash"

# x_server NAME: starts an X server of its own and prints its display number and its pid.
x_server() {
    local file="$WORK/display-$1"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$file" 2>/dev/null &
    local pid=$!
    for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
    echo "$(cat "$file") $pid"
}
