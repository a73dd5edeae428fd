#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (in build-fuzz/) and runs each on its corpus.
#   fuzz/run.sh [seconds]    seconds per target, 60 unless given
# Fails when a target finds a crash, a hang (10 s for one input), a leak or a broken
# property; the input it found is kept in build-fuzz/findings/<target>/. New corpus entries
# go to build-fuzz/corpus/<target>/; fuzz/corpus/ is only read (see docs/architecture.md,
# "Fuzzing", for adding to it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/deps.sh"

build="$root/build-fuzz"
options=(-DVARNOLT_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DVARNOLT_BUILD_TESTS=OFF -DVARNOLT_BUILD_BENCH=OFF)
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_targets

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
failed=()
for target in fuzz_jetsql fuzz_jetconvert fuzz_settings fuzz_router; do
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    arguments=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/")
    dictionary="$root/fuzz/${target#fuzz_}.dict"
    [ -f "$dictionary" ] && arguments+=(-dict="$dictionary")
    echo "== $target, $seconds s"
    if ! "$build/bin/$target" "${arguments[@]}" "$corpus" "$root/fuzz/corpus/$target" 2>"$findings/log.txt"; then
        tail -n 60 "$findings/log.txt"
        failed+=("$target")
    fi
    grep -E "^(stat::number_of_executed_units|stat::average_exec_per_sec|Done)" "$findings/log.txt" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing found faults in: ${failed[*]} (inputs in $build/findings/)"
    exit 1
fi
