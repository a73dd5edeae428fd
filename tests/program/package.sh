#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a user meets it: built by CPack, clean under lintian, installed with
# dpkg, started from /usr/bin by an ordinary user in a tray (its data in that user's
# ~/.local/share/varnolt/), and gone again when removed and purged.
set -euo pipefail
exe=$1 build=$2
. "$(dirname "$0")/common.bash"
skip() { echo "SKIP: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-shlibdeps lintian desktop-file-validate appstreamcli xvfb-run trayer xwininfo setpriv; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/deps.sh installs it)"
done
grep -q '^VARNOLT_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" && skip "a sanitizer build is not shipped"
# A machine that has Varnolt installed keeps it: the test would replace and then remove it.
dpkg-query -W -f='${Status}' varnolt 2>/dev/null | grep -q installed && skip "varnolt is installed on this machine"

WORK=$(mktemp -d)
installed=0
cleanup() {
    [ "$installed" -eq 1 ] && dpkg --purge varnolt >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT
chmod 755 "$WORK"

cmake --build "$build" --target package >"$WORK/cpack.txt" 2>&1 || { cat "$WORK/cpack.txt" >&2; fail "no package built"; }
deb=$(ls -t "$build"/varnolt_*.deb | head -n 1)
# Warnings are for a maintainer to weigh; an error would keep the package out of any archive.
lintian "$deb" >"$WORK/lintian.txt" 2>/dev/null || true
! grep '^E:' "$WORK/lintian.txt" || fail "lintian reports errors"

dpkg -i "$deb" >"$WORK/dpkg.txt" 2>&1 || { cat "$WORK/dpkg.txt" >&2; fail "dpkg -i failed"; }
installed=1
[ "$(readlink -f /usr/bin/varnolt)" = /usr/lib/varnolt/varnolt ] || fail "/usr/bin/varnolt does not lead to /usr/lib/varnolt"
for file in /usr/lib/varnolt/Varnolt.db /usr/lib/varnolt/varnolt-stats.so /usr/lib/varnolt/varnolt-sound.so \
    /usr/share/icons/hicolor/scalable/apps/varnolt.svg \
    /usr/share/man/man1/varnolt.1.gz /usr/share/doc/varnolt/copyright; do
    [ -f "$file" ] || fail "$file is not installed"
done
desktop-file-validate /usr/share/applications/varnolt.desktop /etc/xdg/autostart/varnolt.desktop \
    || fail "a desktop entry is not valid"
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >"$WORK/appstream.txt" 2>&1 \
    || { cat "$WORK/appstream.txt" >&2; fail "the AppStream metadata is not valid"; }
report=0
if [ -e /usr/bin/varnolt-report ]; then
    report=1
    [ "$(readlink -f /usr/bin/varnolt-report)" = /usr/lib/varnolt/varnolt-report ] || fail "varnolt-report is not in /usr/lib/varnolt"
    [ -f /usr/share/man/man1/varnolt-report.1.gz ] || fail "varnolt-report has no manual page"
fi

# An ordinary user ("nobody") with a home of its own, on an X server with a tray.
mkdir -p "$WORK/home"
chown 65534:65534 "$WORK/home"
cat >"$WORK/desktop.sh" <<'SCRIPT'
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
trayer --edge bottom --align right --widthtype request --height 28 &
tray=$!
program=
stop() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    kill "$tray" 2>/dev/null || true
}
trap stop EXIT
if [ "$REPORT" -eq 1 ]; then
    /usr/bin/varnolt-report --help >/dev/null || fail "varnolt-report --help failed"
fi
for _ in $(seq 100); do xwininfo -name panel >/dev/null 2>&1 && break; sleep 0.1; done
/usr/bin/varnolt >"$HOME/stdout.txt" 2>"$HOME/stderr.txt" &
program=$!
# The icon is embedded when the program's window has become a child of the tray's panel.
embedded=0
for _ in $(seq 200); do
    xwininfo -name panel -tree 2>/dev/null | grep -q '("varnolt" "Varnolt")' && { embedded=1; break; }
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
[ "$embedded" -eq 1 ] || { cat "$HOME/stderr.txt" >&2; fail "no Varnolt icon in the tray"; }
for _ in $(seq 100); do [ -f "$HOME/.local/share/varnolt/Varnolt.db" ] && break; sleep 0.1; done
sleep 1
kill -TERM "$program"
status=0
wait "$program" || status=$?
program=
[ "$status" -eq 0 ] || fail "exit status $status on SIGTERM"
if [ "$REPORT" -eq 1 ]; then
    /usr/bin/varnolt-report status >"$HOME/status.txt" || fail "varnolt-report status failed on the user's database"
fi
SCRIPT
env -i PATH="$PATH" HOME="$WORK/home" REPORT="$report" QT_QPA_PLATFORM=xcb \
    setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$WORK/desktop.sh" \
    || fail "the installed program did not run as an ordinary user"
own="$WORK/home/.local/share/varnolt/Varnolt.db"
[ -f "$own" ] || fail "no database under the user's ~/.local/share/varnolt"
[ "$(rows "$own" "select count(*) from Log")" -ge 1 ] || fail "the user's database lacks the run's row"
[ "$(rows /usr/lib/varnolt/Varnolt.db "select count(*) from Log")" -eq 0 ] || fail "the shipped database changed"

dpkg -r varnolt >"$WORK/dpkg.txt" 2>&1 || { cat "$WORK/dpkg.txt" >&2; fail "dpkg -r failed"; }
for path in /usr/lib/varnolt /usr/bin/varnolt /usr/bin/varnolt-report /usr/share/applications/varnolt.desktop \
    /usr/share/metainfo/io.github.varnolt.Varnolt.metainfo.xml /usr/share/man/man1/varnolt.1.gz /usr/share/doc/varnolt; do
    [ ! -e "$path" ] || fail "$path is left after dpkg -r"
done
# The autostart entry is a configuration file: removal keeps it, purging takes it away.
dpkg --purge varnolt >/dev/null 2>&1 || fail "dpkg --purge failed"
installed=0
[ ! -e /etc/xdg/autostart/varnolt.desktop ] || fail "the autostart entry is left after purging"
! dpkg-query -W varnolt >/dev/null 2>&1 || fail "dpkg still knows the package"
echo "1 passed, 0 failed"
