#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The user's files are the user's alone, whatever the umask: an installed copy (its folder
# not writable) run with /debug makes its data folder 0700 and its database, the -wal and
# -shm beside it and the diagnostic log 0600, under umask 022 and 077. The files of an older
# copy (folder 0755, database, -wal, -shm and log 0644) are tightened at the next start,
# and keep what they held. The report command makes no file of its own.
set -euo pipefail
exe=$1
. "$(dirname "$0")/common.bash"
copy_build "$exe"
trap 'end_varnolt; chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
report="$(dirname "$exe")/varnolt-report"
[ -x "$report" ] && cp "$report" "$WORK/bin/"
chmod 755 "$WORK" "$WORK/bin" "$WORK/bin/"*
chmod 644 "$db"
chmod a-w "$WORK/bin"
unset XDG_DATA_HOME
data="$HOME/.local/share/varnolt"
runner=()
# Root writes everywhere; as "nobody" the program folder is what it is for a user.
if [ "$(id -u)" -eq 0 ]; then
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
as_user() { "${runner[@]}" "$@"; }
fresh_home() {
    rm -rf "$HOME"
    mkdir -m 700 "$HOME"
    [ ${#runner[@]} -eq 0 ] || chown 65534:65534 "$HOME"
}

# ours: the program's files and folders under the home (not the font cache the desktop's
# libraries keep there).
ours() { find "$HOME/varnolt.log" "$HOME/.local" "$@" 2>/dev/null; }
# modes: each of them, "mode path" a line.
modes() { ours -printf '%m %p\n' | sed "s| $HOME/| |" | sort -k2; }

# check CASE NAME...: each named path exists, and nothing under the home is open to others.
check() {
    local case=$1; shift
    for name in "$@"; do [ -e "$HOME/$name" ] || { modes >&2; fail "$case: no $name"; }; done
    local open
    open=$(ours -perm /077 -printf '%m %p\n')
    [ -z "$open" ] || { modes >&2; fail "$case: open to others: $open"; }
}

# run_once MASK CASE: a run under the umask, stopped with SIGTERM; checked while it runs
# (the -wal and -shm exist then) and after.
run_once() {
    local mask=$1 case=$2
    (umask "$mask" && exec "${runner[@]}" "$WORK/bin/varnolt" /debug) >"$WORK/stdout.txt" 2>"$WORK/stderr.txt" &
    VARNOLT_PID=$!
    wait_for_line "$HOME/varnolt.log" ": Init Done"
    # The journal of the open row keeps a connection from the first poll on.
    for _ in $(seq 100); do [ -e "$data/Varnolt.db-shm" ] && break; sleep 0.1; done
    check "$case, running" varnolt.log .local/share/varnolt/Varnolt.db .local/share/varnolt/Varnolt.db-wal \
        .local/share/varnolt/Varnolt.db-shm
    echo "$case, running:"
    modes | sed 's/^/    /'
    stop_varnolt TERM || fail "$case: exit status $?"
    check "$case, ended" varnolt.log .local/share/varnolt/Varnolt.db
}

for mask in 022 077; do
    fresh_home
    run_once "$mask" "new database, umask $mask"
done

# The log is made owner-only from its first byte, not tightened after another user could have
# opened it: the system call that makes it asks for 0600. (A leak check cannot run under a
# tracer: a sanitized build checks leaks in the runs above.)
if command -v strace >/dev/null; then
    fresh_home
    (umask 022 && ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" exec strace -f -qq -e trace=open,openat -o "$WORK/opens.txt" \
        "${runner[@]}" "$WORK/bin/varnolt" /debug) >/dev/null 2>&1 &
    tracer=$!
    VARNOLT_PID=$tracer
    trap 'pkill -KILL -P "$tracer"; rm -rf "$WORK"' EXIT
    wait_for_line "$HOME/varnolt.log" ": Init Done"
    pkill -TERM -P "$tracer"
    wait "$tracer" || fail "the traced run ended with status $?"
    trap 'end_varnolt; rm -rf "$WORK"' EXIT
    made=$(grep -F "\"$HOME/varnolt.log\"" "$WORK/opens.txt" | grep O_CREAT | head -1)
    [ -n "$made" ] || fail "no system call made the log"
    [[ "$made" == *", 0600)"* ]] || fail "the log is made open to others before it is tightened: $made"
fi

# An older copy's files, made under umask 022 with a run's rows in them.
fresh_home
as_user mkdir -p "$data"
as_user cp "$db" "$data/Varnolt.db"
as_user sqlite3 "$data/Varnolt.db" "PRAGMA journal_mode=WAL" \
    "INSERT INTO Log VALUES ('2026-12-01 10:00:00','2026-12-01 11:00:00',1000,2000,3)" >/dev/null
as_user touch "$data/Varnolt.db-wal" "$data/Varnolt.db-shm"
as_user sh -c 'echo "an older line" >"$1"' sh "$HOME/varnolt.log"
chmod 700 "$HOME/.local" "$HOME/.local/share"
chmod 755 "$data"
chmod 644 "$data/"* "$HOME/varnolt.log"
run_once 022 "older files, umask 022"
[ "$(rows "$data/Varnolt.db" "select count(*) from Log where BytesSent = 1000")" = 1 ] || fail "the older row is gone"
grep -q "an older line" "$HOME/varnolt.log" || fail "the older log lines are gone"

# The report command reads. Its read-only connection on a database in WAL mode that no
# program has open makes SQLite's -wal and -shm (with the database's mode); nothing else.
if [ -x "$WORK/bin/varnolt-report" ]; then
    before=$(modes)
    (umask 022 && exec "${runner[@]}" "$WORK/bin/varnolt-report" status) >/dev/null 2>&1 || fail "the report failed"
    made=$(diff <(echo "$before") <(modes | grep -v ' .local/share/varnolt/Varnolt.db-[ws][ah][lm]$') || true)
    [ -z "$made" ] || fail "the report changed the home: $made"
    check "report"
    echo "report: no file made but SQLite's, all private"
fi
echo "1 passed, 0 failed"
