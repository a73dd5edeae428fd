#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one desktop test under a real window manager, Debian's openbox, on the X server that
# xvfb-run has started: the window manager is up before the test starts and is stopped after
# it, whatever the test's outcome.
#   xvfb-run -a -s "-noreset" bash with_wm.sh TEST [ARGS...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
command -v openbox >/dev/null || { echo "openbox (Debian package openbox) is needed" >&2; exit 1; }

# A configuration folder of its own, so that a user's openbox settings do not reach the test.
config=$(mktemp -d)
XDG_CONFIG_HOME="$config" openbox --sm-disable --config-file "$here/openbox-rc.xml" 2>"$config/openbox.log" &
wm=$!
stop_wm() {
    kill "$wm" 2>/dev/null || true
    wait "$wm" 2>/dev/null || true
    rm -rf "$config"
}
trap stop_wm EXIT

# Openbox names its theme on the root window once it has read its configuration, after it
# took over the screen; windows mapped earlier may be left unmanaged.
ready() { xprop -root _OB_THEME 2>/dev/null | grep -q '"'; }
for _ in $(seq 200); do
    ready && break
    kill -0 "$wm" 2>/dev/null || { cat "$config/openbox.log" >&2; exit 1; }
    sleep 0.05
done
ready || { echo "openbox did not start" >&2; exit 1; }

status=0
"$@" || status=$?
exit "$status"
