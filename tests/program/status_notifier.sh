#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program where the tray is a StatusNotifierWatcher with a host (KDE Plasma, GNOME with
# an AppIndicator extension), here the test's own on a private session bus: the icon registers as
# an item, the monitor starts hidden, the host's "Activate" shows it and a second one hides it,
# and its "ContextMenu" opens the tray menu.
set -euo pipefail
exe=$1
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/common.bash"
# Debian's own Python, which has python3-gi (a python3 first on the path may not).
python=/usr/bin/python3
for tool in dbus-run-session dbus-send xvfb-run xdotool "$python"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
"$python" -c 'import gi; gi.require_version("Gio", "2.0")' 2>/dev/null \
    || { echo "SKIP: python3-gi with gir1.2-glib-2.0 is missing"; exit 77; }
copy_build "$exe"
export QT_QPA_PLATFORM=xcb

export WORK COMMON="$here/common.bash" HOST="$here/sni_host.py" PYTHON="$python"
cat >"$WORK/run.sh" <<'SCRIPT'
set -euo pipefail
. "$COMMON"
"$PYTHON" "$HOST" >"$WORK/host.txt" 2>&1 &
host=$!
trap 'kill "$host" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^ready$' "$WORK/host.txt" && break; sleep 0.05; done
grep -q '^ready$' "$WORK/host.txt" || { cat "$WORK/host.txt" >&2; fail "the watcher did not start"; }

QT_LOGGING_RULES="varnolt.startup.info=true" start_varnolt "$WORK/bin/varnolt" /debug
for _ in $(seq 200); do grep -q '^item ' "$WORK/host.txt" && break; sleep 0.1; done
item=$(grep '^item ' "$WORK/host.txt" | head -n 1) || { cat "$WORK/stderr.txt" >&2; fail "no item registered"; }
read -r _ service path id status <<<"$item"
[ "$status" = "Status=Active" ] || fail "the item is not active: $item"
# The watcher lists it, as a panel that starts later would find it.
dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher string:RegisteredStatusNotifierItems \
    | grep -qF "\"$service$path\"" || fail "the watcher does not list $service$path"
wait_for_line "$WORK/stderr.txt" "first poll done"
grep -q "tray icon shown (StatusNotifierItem)" "$WORK/stderr.txt" || fail "$(grep 'first poll' "$WORK/stderr.txt")"

visible() { xdotool search --onlyvisible --name "Varnolt" >/dev/null 2>&1; }
# within TEXT COMMAND...: waits up to 5 s for the command to succeed.
within() {
    local what=$1; shift
    for _ in $(seq 50); do "$@" && return 0; sleep 0.1; done
    fail "$what"
}
activate() {
    dbus-send --session --print-reply --dest="$service" "$path" org.kde.StatusNotifierItem.Activate \
        int32:100 int32:10 >/dev/null
}
# The tray holds the icon, so the window waits for the user.
sleep 0.5
! visible || fail "the monitor is shown at start although the tray holds the icon"
activate
within "the monitor is not shown on Activate" visible
sleep 0.5
visible || fail "the monitor did not stay shown"
activate
within "the monitor is not hidden on a second Activate" eval '! visible'
echo "$id ($service$path): shown and hidden by Activate"
# The host's "ContextMenu" opens the tray menu, as a right click does; Escape closes it.
dbus-send --session --print-reply --dest="$service" "$path" org.kde.StatusNotifierItem.ContextMenu \
    int32:100 int32:10 >/dev/null
wait_for_line "$HOME/varnolt.log" ": Before."
within "the tray menu does not open on ContextMenu" eval 'xdotool search --onlyvisible --class varnolt >/dev/null'
xdotool key Escape
wait_for_line "$HOME/varnolt.log" ": Back."

stop_varnolt TERM || fail "exit status $? on SIGTERM"
within "the item is still listed after the program ended" grep -q "^gone " "$WORK/host.txt"
SCRIPT
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" dbus-run-session -- bash "$WORK/run.sh" 2>&1 \
    | { grep -v "Failed to set fd limit" || true; }
echo "1 passed, 0 failed"
