# SPDX-License-Identifier: GPL-3.0-or-later
# Shared helpers of the whole-program checks. Sourced, not run.

fail() { echo "FAIL: $*" >&2; exit 1; }

# start_varnolt EXE LOGFILE [ARGS...]: starts the program in the background with the
# environment already set; its pid goes to VARNOLT_PID.
start_varnolt() {
    local exe=$1; shift
    "$exe" "$@" >"$WORK/stdout.txt" 2>"$WORK/stderr.txt" &
    VARNOLT_PID=$!
}

# wait_for_line FILE TEXT: waits up to 20 s for a line containing TEXT.
wait_for_line() {
    for _ in $(seq 200); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        kill -0 "$VARNOLT_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WORK/stderr.txt" >&2 || true
    fail "no line '$2' in $1"
}

# stop_varnolt SIGNAL: sends the signal and waits for the process to end (20 s at most).
stop_varnolt() {
    kill -"$1" "$VARNOLT_PID"
    wait_varnolt
}

# end_varnolt: ends the program at once, if it still runs; for the exit traps, so that a check
# that fails part of the way leaves no run behind. Only a job of this script's that was not
# waited for: a pid already reaped may be another process's by now.
end_varnolt() {
    local pid=${VARNOLT_PID:-}
    if [ -n "$pid" ] && jobs -p | grep -qx "$pid"; then
        kill -9 "$pid" 2>/dev/null || true
    fi
}

# wait_varnolt: waits for the process to end (20 s at most); returns its exit status.
wait_varnolt() {
    for _ in $(seq 200); do
        kill -0 "$VARNOLT_PID" 2>/dev/null || { wait "$VARNOLT_PID"; return $?; }
        sleep 0.1
    done
    kill -9 "$VARNOLT_PID"
    fail "the program did not end within 20 s"
}

# rows DB SQL: the rows of a query, through the sqlite3 shell.
rows() { sqlite3 -batch "$1" "$2"; }

# copy_build EXE: a copy of the program and its empty database in a fresh folder $WORK/bin
# (removed on exit, the program ended first), with a home of its own; the database's path goes to $db.
copy_build() {
    WORK=$(mktemp -d)
    trap 'end_varnolt; rm -rf "$WORK"' EXIT
    mkdir -p "$WORK/bin" "$WORK/home"
    cp "$1" "$(dirname "$1")/Varnolt.db" "$WORK/bin/"
    # the modules the program loads when first needed
    cp "$(dirname "$1")"/varnolt-*.so "$WORK/bin/" 2>/dev/null || true
    export HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/data"
    db="$WORK/bin/Varnolt.db"
}
