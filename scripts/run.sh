#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Varnolt and starts it. Arguments go to the program
# (for example /debug).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOLT_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build" --target varnolt -j "$(nproc)"
exec "$root/build/bin/varnolt" "$@"
