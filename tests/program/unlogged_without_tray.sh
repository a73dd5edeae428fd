#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on an X server with a window manager and no tray host, its database on a
# file system that fills up (a small tmpfs of this script's own): the user closed the monitor
# window, which is then the only way the program can say anything. When the database refuses
# the open row, the window comes back with the line "Not logged: ..." within 2 s of the
# refusal, read from the X server's pixels; standard error says it once, and not that nothing
# is lost while the journal cannot hold the row; with space again the line goes and the
# window shrinks back to its designed height.
set -euo pipefail
exe=$1
source_dir=$3
. "$(dirname "$0")/common.bash"
skip() {
    echo "SKIP: $*"
    exit 77
}
if [ -z "${VARNOLT_OWN_MOUNTS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "mounting a file system needs root (run the suite as root, as CI does)"
    unshare --mount true 2>/dev/null || skip "cannot make a mount namespace (unshare --mount)"
    exec unshare --mount --propagation private env VARNOLT_OWN_MOUNTS=1 bash "$0" "$@"
fi
for tool in xvfb-run openbox xdotool xwd sqlite3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh installs it)"
done
# Debian's own Python when there is one: a python3 first on the path may take a second to start.
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3) || skip "python3 is not installed"
copy_build "$exe"
export QT_QPA_PLATFORM=xcb
# Loopback traffic, so that the journal has the open row to write every 5 s.
rows "$db" "insert into settings values ('Adapter0', 'lo')"

# The program and its database on a tmpfs with 4 MB to spare.
mv "$WORK/bin" "$WORK/files"
mkdir "$WORK/bin"
mount -t tmpfs -o "size=$(($(du -sk "$WORK/files" | cut -f1) + 4096))k" varnolt-test "$WORK/bin"
cp -a "$WORK/files/." "$WORK/bin/"
rm -rf "$WORK/files"
trap 'end_varnolt; umount -l "$WORK/bin"; rm -rf "$WORK"' EXIT

export WORK python COMMON="$(dirname "$0")/common.bash"
cat >"$WORK/run.sh" <<'SCRIPT'
set -euo pipefail
. "$COMMON"
now_ms() { date +%s%3N; }
# window_rows FROM: the height of the monitor window's client area and how many of its pixels
# from row FROM down are red text (the problem line's colour), from the X server; nothing
# while the window is not mapped.
window_rows() {
    xwd -silent -id "$window" 2>/dev/null | "$python" -c '
import struct, sys
data = sys.stdin.buffer.read()
if len(data) < 100:
    sys.exit(1)
h = struct.unpack(">25I", data[:100])
size, width, height, order, bpp, stride, colours = h[0], h[4], h[5], h[7], h[11], h[12], h[19]
start = size + 12 * colours
if bpp != 32 or h[14] != 0xFF0000 or len(data) < start + height * stride:
    sys.exit(1) # not 32-bit pixels with red in the third byte, or cut short by a resize
red = 0
for y in range(int(sys.argv[1]), height):
    row = data[start + y * stride:start + y * stride + 4 * width]
    r, g, b = (row[2::4], row[1::4], row[0::4]) if order == 0 else (row[1::4], row[2::4], row[3::4])
    red += sum(1 for i in range(width) if r[i] > 140 and g[i] < 100 and b[i] < 100)
print(height, red)
' "$1"
}
fill_disk() {
    dd if=/dev/zero of="$WORK/bin/filler" bs=64k 2>/dev/null || true
    [ "$(df --output=avail "$WORK/bin" | tail -n 1)" -eq 0 ] || fail "the file system is not full"
}

start_varnolt "$WORK/bin/varnolt" /debug
wait_for_line "$HOME/varnolt.log" ": Init Done"
window=$(timeout 5 xdotool search --sync --onlyvisible --name "Varnolt") || fail "the monitor window is not shown"
sleep 1
read -r designed red < <(window_rows 0) || fail "cannot read the window's pixels"
[ "$(window_rows "$designed" | cut -d' ' -f2)" -eq 0 ] || fail "a problem line before any problem"
# The window manager's close button (Alt+F4) hides the window.
xdotool windowactivate --sync "$window" key alt+F4
for _ in $(seq 50); do xdotool search --onlyvisible --name "Varnolt" >/dev/null || break; sleep 0.1; done
! xdotool search --onlyvisible --name "Varnolt" >/dev/null || fail "Alt+F4 did not hide the window"

payload=$(printf 'v%.0s' $(seq 1200))
(while :; do echo "$payload" >/dev/udp/127.0.0.1/9 || true; sleep 0.05; done) &
traffic=$!
trap 'kill "$traffic" "$VARNOLT_PID" 2>/dev/null || true' EXIT
fill_disk
# The refusal: the program's own warning on standard error when a write of the open row fails.
for _ in $(seq 1000); do
    grep -q -E "not journaled|not written" "$WORK/stderr.txt" && break
    sleep 0.02
done
refused=$(now_ms)
grep -q -E "not journaled|not written" "$WORK/stderr.txt" || fail "no write refused within 20 s of the full disk"
# Timed from the refusal to the start of the first capture that shows the line.
took=never
while [ $(($(now_ms) - refused)) -lt 5000 ]; do
    shot=$(now_ms)
    if read -r height red < <(window_rows "$designed") && [ "$height" -gt "$designed" ] && [ "$red" -ge 20 ]; then
        took=$((shot - refused))
        break
    fi
    sleep 0.02
done
echo "the line shown ${took} ms after the refusal (window $designed -> ${height:-?} pixels high, $red red pixels)"
[ "$took" != never ] || fail "the window does not show the problem line within 5 s of the refusal"
[ "$took" -le 2000 ] || fail "the problem line took $took ms, more than 2 s"

rm -f "$WORK/bin/filler"
back=never
for t in $(seq 150); do
    read -r height red < <(window_rows 0) && [ "$height" -eq "$designed" ] && { back=$t; break; }
    sleep 0.1
done
kill "$traffic"
[ "$back" != never ] || fail "the problem line did not go within 15 s of space coming back"
told=$(grep -c "^Varnolt: Traffic is not being logged" "$WORK/stderr.txt" || true)
[ "$told" -eq 1 ] || { cat "$WORK/stderr.txt" >&2; fail "the problem was told $told times on standard error, not once"; }
if grep -q "not journaled" "$WORK/stderr.txt"; then
    ! grep "^Varnolt: Traffic" "$WORK/stderr.txt" | grep -q "Nothing is lost" \
        || fail "standard error says that nothing is lost while the journal cannot hold the row"
fi
grep -q "^Varnolt: traffic is logged again" "$WORK/stderr.txt" || fail "standard error does not say the problem is over"
[ -z "${SHOW_STDERR:-}" ] || cat "$WORK/stderr.txt"
stop_varnolt TERM || fail "exit status $? on SIGTERM"
SCRIPT
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$source_dir/tests/onscreen/with_wm.sh" bash "$WORK/run.sh"
echo "1 passed, 0 failed"
