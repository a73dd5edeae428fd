#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Planted faults: proof that the test suite catches small, realistic slips in the code.
#
#   bash tests/mutations.sh [BUILD_DIR] [name-filter]
#
# BUILD_DIR is a configured build folder (default: build in the source tree); name-filter is
# an extended regex (grep -E) that picks faults by name (default: all). Not part of ctest or
# CI: the whole table takes about 8 minutes on two idle cores.
#
# For each fault of the table below, one at a time: the file is found by its name anywhere
# under src/, the substitution is made in it (exactly one match, else the fault is
# NOT-APPLIED), only the named tests' targets are built (a fault that does not compile is
# NOT-APPLIED too), those tests are run, and the fault is CAUGHT when one of them fails,
# MISSED when all pass. The file is always restored, also on Ctrl-C. Logs go to
# BUILD_DIR/mutations/<fault>.log. Before the faults, the named tests are built and run
# once on the code as it is: they must all pass, or no result would mean anything.
# Exit status 0 only when every fault was CAUGHT.
#
# A line of the table: fault NAME FILE-NAME PERL-SUBSTITUTION CTEST-REGEX. The substitution
# is a Perl s{...}{...} on the whole file (so \s* may span lines). The regex names the tests
# by their tst_ or program. name, without their folder, so that it survives moved folders;
# each tst_xxx in it is also the target to build, and a program. test builds the programs.
set -uo pipefail

names=() files=() substitutions=() regexes=()
fault() { names+=("$1") files+=("$2") substitutions+=("$3") regexes+=("$4"); }

# The program's SQL dialect and stored values.
fault round-half-up             JetConvert.cpp      's{return std::fmod\(floor, 2\.0\) == 0\.0 \? floor : floor \+ 1;}{return floor + 1;}' 'tst_jetconvert|tst_settingsstore'
fault month-end-not-clamped     JetFunctions.cpp    's{fields\.day = std::min\(fields\.day, StoredDate::daysInMonth\(fields\.year, fields\.month\)\);}{}' 'tst_store|tst_volumelefttext'
fault delete-keeps-row-count     DayTotals.cpp       's{RowCount = RowCount - 1 }{RowCount = RowCount - 0 }' 'tst_schemaupgrade|tst_store'
fault kernel-sent-as-received  LinuxInterfaceTable.cpp 's{row\.outOctets = stats\.tx_bytes;}{row.outOctets = stats.rx_bytes;}' 'program.traffic_counts'
# Settings.
fault start-day-0-accepted      SettingsStore.cpp   's{\{"logstartday"_L1, 1, 31,}{\{"logstartday"_L1, 0, 31,}' 'tst_settingsstore'
fault kilobit-third-refused     SettingsStore.cpp   's{\{"kilobit"_L1, 0, 2,}{\{"kilobit"_L1, 0, 1,}' 'tst_settingsstore'
# Traffic metering and the log rows.
fault counter-reset-lost        SampleAdapters.cpp  's{return now - from;}{return 0;}' 'tst_sampleadapters'
fault reselected-counts-gap     SampleAdapters.cpp  's{m_last\[p\]\.known = false;}{}' 'tst_sampleadapters'
fault link-changes-unheard      LinkNotifications.cpp 's{\{\s*return heard;}{\{ return false;}' 'tst_kernelcounters'
fault dialog-list-not-followed  SampleAdapters.cpp  's{if \(rebuilt && m_listRebuilt\)}{if (false)}' 'tst_frmoptions'
fault loopback-by-default       AdapterChoice.cpp   's{if \(interface\.loopback\)\s*return false;\s*}{}' 'tst_sampleadapters|tst_interfacedevices'
fault closed-row-counted-again  OpenRow.cpp         's{\s*m_c\.baseIn = m_c\.curIn;}{}' 'tst_trafficlogwriter|tst_monitorpoll'
fault sent-received-swapped     TrafficLogWriter.cpp 's{NumberText::plain\(c\.rowBytesOut\(\)\) \+ QLatin1Char\(.,.\)\s*\+ NumberText::plain\(c\.rowBytesIn\(\)\)}{NumberText::plain(c.rowBytesIn()) + QLatin1Char(\x27,\x27) + NumberText::plain(c.rowBytesOut())}' 'tst_trafficlogwriter'
fault day-ends-a-second-early   RunCounters.h       's{QTime\(23, 59, 59\)}{QTime(23, 59, 58)}' 'tst_trafficlogwriter|tst_rowjournal'
# Volume left.
fault mb-of-1000000-bytes       VolumeLeftText.cpp  's{BytesPerMB = 1024\.0 \* 1024\.0;}{BytesPerMB = 1000.0 * 1000.0;}' 'tst_volumelefttext'
fault orange-at-30-inclusive    VolumeLeftText.cpp  's{leftPercent < 30\)}{leftPercent <= 30)}' 'tst_volumelefttext'
fault month-starts-a-day-late   VolumeLeftText.cpp  's{if \(day >= startDay\)}{if (day > startDay)}' 'tst_volumelefttext|tst_varnoltreport'
# Export, reset, locks and private files.
fault export-file-0644          ExportFile.cpp      's{mode_t mode = S_IRUSR \| S_IWUSR;}{mode_t mode = 0644;}' 'tst_exportandreset|tst_csvexport'
fault export-three-decimals     CsvExport.cpp       's{for \(int i = 0; i < 2; \+\+i\)}{for (int i = 0; i < 3; ++i)}' 'tst_csvexport'
fault reset-failure-ignored     LogReset.cpp        's{step\(session\.execute\(u"Delete \* from log;"_s\)\);}{(void)session.execute(u"Delete * from log;"_s);}' 'tst_logreset'
fault instance-lock-shared      InstanceLock.cpp    's{LOCK_EX \| LOCK_NB}{LOCK_SH | LOCK_NB}' 'tst_instancelock'
fault seeded-copy-0644          DatabaseLocation.cpp 's{::fchmod\(target\.handle\(\), S_IRUSR \| S_IWUSR\)}{::fchmod(target.handle(), 0644)}' 'tst_databaselocation'
# The log is made 0600, not tightened after another user could have opened it:
# private_files traces the call that makes it.
fault debug-log-0644            DebugLog.cpp        's{file\.open\(QIODevice::Append, QFileDevice::ReadOwner \| QFileDevice::WriteOwner\)}{file.open(QIODevice::Append)}' 'program.private_files'
fault debug-log-not-tightened   DebugLog.cpp        's{status\.st_uid == ::geteuid\(\)}{status.st_uid != ::geteuid()}' 'program.private_files'
# The graph.
fault bar-a-row-too-long        ThroughputModel.cpp 's{\* double\(height\) - 1\.0;}{* double(height);}' 'tst_throughput'
# The poll and its texts.
fault rate-kb-of-1024           MonitorPoll.cpp     's{\(m_parts\.row\.newIn\(\) / 1000\.0\)}{(m_parts.row.newIn() / 1024.0)}' 'tst_monitorpoll|tst_frmmain'
fault logged-volume-cache-kept  MonitorPoll.cpp     's{m_parts\.settings\.cachedVolume = 0;}{}' 'tst_monitorpoll'
fault mb-text-of-1000000        MonitorTexts.cpp    's{number\(bytes / 1048576\.0, 2\)}{number(bytes / 1000000.0, 2)}' 'tst_monitorpoll|tst_frmmain'
# The options dialog.
fault reset-without-question    FrmOptions.cpp      's{if \(MessageBox::question\(QStringLiteral\("Are you sure \?"\),}{if (false && MessageBox::question(QStringLiteral("Are you sure ?"),}' 'tst_exportandreset'
fault period-of-366-accepted    AllowanceFields.cpp 's{wholeBelow\(text, convert, 1, 366\)}{wholeBelow(text, convert, 1, 367)}' 'tst_frmoptions'
# Statistics and the report.
fault stats-total-down-twice    StatsGrid.cpp       's{\(period\.kbDown \+ period\.kbUp\)}{(period.kbDown + period.kbDown)}' 'tst_statsgrid'
fault stats-day-view-13-days    StatsGrid.cpp       's{today\.addDays\(-qint64\(page \+ 1\) \* DaysShown \+ 1\);}{today.addDays(-qint64(page + 1) * DaysShown + 2);}' 'tst_statsgrid|tst_frmstats'
fault stats-page-overlaps-newer StatsGrid.cpp       's{: start \+ DaysShown - 1;}{: start + DaysShown;}' 'tst_statsgrid'
fault stats-list-left-aligned   FrmStats.cpp        's{item->setTextAlignment\(column, Qt::AlignRight \| Qt::AlignVCenter\)}{item->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter)}' 'tst_frmstats'
fault stats-reset-not-refilled  VarnoltApp.cpp      's{\s*connect\(m_options\.get\(\), &FrmOptions::logCleared, m_stats, &FrmStats::refill\);}{}' 'tst_frmstats'
fault ran-out-a-day-late        AllowanceStatus.cpp 's{if \(sum >= allowanceBytes\)}{if (sum > allowanceBytes)}' 'tst_frmstats'
fault depth-past-its-label      ChartDepth.cpp      's{constexpr double MaxShift = 0\.42;}{constexpr double MaxShift = 1.5;}' 'tst_statschart'
fault projected-to-period-start ChartAllowance.cpp  's{grid\.lastDay\(last\)\.addDays\(1\)}{grid.lastDay(last)}' 'tst_statschart'
fault forecast-from-now         AllowanceForecast.cpp   's{usedMB / elapsed \* double\(start\.msecsTo\(end\)\)}{usedMB / elapsed * double(now.msecsTo(end))}' 'tst_varnoltreport'
# The monitor's line, help, the export.
fault mini-body-title-bar-only  FrmMain.cpp         's{const bool mini = isMini\(\);}{const bool mini = false;}' 'tst_frmmain'
fault exceeded-fraction-rounded-away VolumeLeftText.cpp 's{whole < 1 \?}{whole < 0 ?}' 'tst_volumelefttext'
fault help-missing-file-silent  DesktopServices.cpp 's{if \(!page\.exists\(\)\)\s*why = [^;]*;\s*else }{}' 'tst_varnoltapp'
fault export-open-row-left-out  CsvExport.cpp       's{if \(pending && key == open\.key\) \{}{if (false) \{}' 'tst_csvexport'
fault open-row-in-todays-period UnloggedTraffic.cpp 's{run\.rowStart\.isValid\(\) \? run\.rowStart\.date\(\) : now\.date\(\)}{now.date()}' 'tst_csvexport'
fault fit-row-not-moved         TextFit.cpp         's{control->move\(before->geometry\(\)\.right\(\) \+ 1 \+ gap, control->y\(\)\);}{(void)0;}' 'tst_windowfit'
fault fit-never-taller          TextFit.cpp         's{const int taller = std::max\(0, neededHeight\(control\) - control->height\(\)\);}{const int taller = 0;}' 'tst_windowfit'
fault readable-keeps-colour     ReadableColor.cpp   's{if \(reads\(colour, ratio\)\)}{if (true)}' 'tst_windowfit'
# What a poll costs: only what is seen, only what changed, only what is needed.
fault hidden-poll-writes-labels MonitorPoll.cpp     's{    // The labels. numbers are the most of what a poll costs: written only while seen.\n    if \(view\.figuresShown\(\)\)\n}{    if (true)\n}' 'tst_frmmain|tst_monitorpoll'
fault tip-on-every-change       FrmMainFigures.cpp  's{if \(m_tipDue \|\| atMsecs - m_tipShownAt >= TipIntervalMsecs}{if (true || atMsecs - m_tipShownAt >= TipIntervalMsecs}' 'tst_frmmain'
fault blank-graph-scrolled      Throughput.cpp      's{ \|\| \(barless && value <= 0\)\)}{)}' 'tst_frmmain'
fault graph-repaints-whole      Throughput.cpp      's{scroll\(-step, 0, contentsRect\(\)\);}{update(contentsRect());}' 'tst_frmmain'
fault offset-kept-past-change   Clock.cpp           's{m_until = std::min\(m_until, next\.atUtc\.toMSecsSinceEpoch\(\)\);}{(void)next;}' 'tst_systemclock'
fault journal-writes-unchanged  RowJournal.cpp      's{if \(changed && !empty && }{if (!empty && }' 'tst_rowjournal'
fault icon-bars-swapped         AppIcon.cpp         's{unit\(35\.84, 32, 17\.92, 22\.4\)}{unit(35.84, 12.8, 17.92, 41.6)}' 'tst_appicon'
fault stats-module-entry-named  StatsModuleEntry.cpp 's{varnolt_stats_window\(const}{varnolt_stats_windowX(const}' 'tst_varnoltapp'
fault sound-module-retried      SoundModule.cpp     's{m_failed = !m_player;}{m_failed = false;}' 'tst_varnoltapp'
# The whole program (tests/program).
fault shutdown-without-reading  VarnoltApp.cpp      's{m_poll->takeReading\(\);}{}' 'program.traffic_counts'
fault sighup-not-handled        SignalWatcher.cpp   's{(\{SIGTERM, SIGINT), SIGHUP(\}\)\s*::sigaction)}{$1$2}' 'program.run_and_signals'
# On a real X server (tests/desktop).
fault question-defaults-to-yes  MessageBox.cpp      's{box\.setDefaultButton\(QMessageBox::No\);}{box.setDefaultButton(QMessageBox::Yes);}' 'tst_optionsdialog'
fault transparency-inverted     Transparency.cpp    's{\(100 - percent\) / 100\.0}{percent / 100.0}' 'tst_trayicon'
fault blink-not-restored        LabelBlink.cpp      's{        m_timer\.stop\(\);\n        restore\(\);}{        m_timer.stop();}' 'tst_optionsdialog'
fault click-leaves-focus        FrmMain.cpp         's{\n    activateWindow\(\);}{}' 'tst_monitorwindow'
# The household through a router.
fault router-restart-as-reboot  RouterReadingStep.cpp 's{\(uptimeBack && fell\)}{(uptimeBack)}' 'tst_routerreadingstep'
fault router-wrap-unbounded     RouterReadingStep.cpp 's{if \(double\(wrap\) <= allowed\)}{if (true)}' 'tst_routerreadingstep'
fault router-and-interfaces     MonitorPoll.cpp     's{takeFromRouter\(\*router, atMsecs\);\s*return;}{takeFromRouter(*router, atMsecs);}' 'tst_monitorpoll'
fault metrics-quote-unescaped   OpenMetricsWriter.cpp 's{ \|\| c == u.".\)}{)}' 'tst_varnoltreport'

root=$(git -C "$(dirname "${BASH_SOURCE[0]}")" rev-parse --show-toplevel) || exit 2
build=$(realpath -m "${1:-$root/build}")
filter=${2:-}
[[ -f $build/CMakeCache.txt ]] || { echo "$build is not a configured build folder" >&2; exit 2; }
out=$build/mutations
mkdir -p "$out"

chosen=()
for i in "${!names[@]}"; do
    [[ -z $filter ]] || grep -qE -- "$filter" <<<"${names[i]}" && chosen+=("$i")
done
((${#chosen[@]})) || { echo "no fault matches '$filter'" >&2; exit 2; }

# The build targets the tests of a regex need.
targets_for() {
    local regex=$1 targets
    targets=$(grep -oE 'tst_[A-Za-z0-9_]+' <<<"$regex" | sort -u | tr '\n' ' ')
    [[ $regex == *program.* ]] && targets+=" varnolt varnolt-report"
    echo "$targets"
}

# The one file under src/ with this name (tracked or new), or nothing when none or several.
find_file() {
    local found
    found=$(cd "$root" && git ls-files --cached --others --exclude-standard -- 'src/*' \
        | awk -F/ -v n="$1" '$NF == n' | sort -u | while read -r f; do [[ -f $f ]] && echo "$f"; done)
    [[ -n $found && $(wc -l <<<"$found") -eq 1 ]] && echo "$root/$found"
}

# The named tests that failed in a ctest log, as ctest lists them.
failed_tests() {
    sed -n '/The following tests FAILED:/,$p' "$1" | sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p' | paste -sd' '
}

# The file being planted and its saved copy: put back whatever happens.
planted='' saved=$out/.saved
restore() {
    if [[ -n $planted ]]; then
        cat "$saved" >"$planted" && rm -f "$saved"   # a new modification time: make rebuilds it
        planted=''
    fi
}
trap restore EXIT
# Builds and tests run in a process group of their own, waited for: bash runs no trap on
# Ctrl-C while a foreground command that ends with a status of its own (make) runs.
child=''
run() { setsid "$@" & child=$!; wait "$child"; local status=$?; child=''; return $status; }
trap '[[ -n $child ]] && kill -TERM -- "-$child" 2>/dev/null; restore; echo "interrupted: file restored" >&2; exit 130' INT TERM HUP

# The code as it is: every named test builds and passes.
all_regex=$(for i in "${chosen[@]}"; do echo "${regexes[i]}"; done | paste -sd'|')
start_all=$(date +%s)
echo "baseline: building and running the named tests on the code as it is"
if ! run cmake --build "$build" -j2 --target $(targets_for "$all_regex") >"$out/baseline.log" 2>&1 \
    || ! run ctest --test-dir "$build" -R "$all_regex" --no-tests=error --output-on-failure >>"$out/baseline.log" 2>&1; then
    echo "the code as it is does not build or pass the named tests ($(failed_tests "$out/baseline.log")); see $out/baseline.log" >&2
    exit 2
fi
echo "baseline: passed in $(($(date +%s) - start_all)) s"

rows=() bad=0 start_faults=$(date +%s)
for i in "${chosen[@]}"; do
    name=${names[i]} regex=${regexes[i]} log=$out/${names[i]}.log
    start=$(date +%s) failed='' result=''
    : >"$log"
    path=$(find_file "${files[i]}")
    if [[ -z $path ]]; then
        result="NOT-APPLIED (no single ${files[i]} under src/)"
    else
        cp "$path" "$saved" && planted=$path
        count=$(SUBST=${substitutions[i]} perl -e '
            local $/; open my $in, "<", $ARGV[0] or die "$!"; $_ = <$in>; close $in;
            my $n = eval($ENV{SUBST} . "g"); die "bad substitution: $@" if $@;
            if ($n == 1) { open my $o, ">", $ARGV[0] or die "$!"; print $o $_; close $o or die "$!"; }
            print $n || 0;' "$path" 2>>"$log")
        if [[ $count != 1 ]]; then
            result="NOT-APPLIED (${count:-error} matches)"
        elif cmp -s "$path" "$saved"; then
            result="NOT-APPLIED (file unchanged)"
        else
            (cd "$root" && git diff --no-index -U1 -- "$saved" "$path") >>"$log" 2>&1
            if ! run cmake --build "$build" -j2 --target $(targets_for "$regex") >>"$log" 2>&1; then
                result="NOT-APPLIED (does not build)"
            elif run ctest --test-dir "$build" -R "$regex" --no-tests=error --output-on-failure >>"$log" 2>&1; then
                result=MISSED
                grep -qE 'Not Run|\*\*\*Skipped' "$log" && result="MISSED (skipped: $(grep -oE '[^ ]+ \.+\*\*\*Skipped' "$log" | awk '{print $1}' | paste -sd' '))"
            else
                failed=$(failed_tests "$log")
                if [[ -n $failed ]]; then result=CAUGHT; else result="NOT-APPLIED (ctest found no tests)"; fi
            fi
        fi
        restore
    fi
    [[ $result == CAUGHT ]] || bad=1
    secs=$(($(date +%s) - start))
    rows+=("$name|${path#"$root"/}|${failed:--}|$result|$secs")
    printf '%-26s %-8s %4d s  %s\n' "$name" "${result%% *}" "$secs" "${failed:-}"
done

echo
{
    echo "fault|file|failed tests|result|seconds"
    printf '%s\n' "${rows[@]}"
} | column -t -s'|'
echo "faults: ${#chosen[@]}, total $(($(date +%s) - start_faults)) s (with the baseline $(($(date +%s) - start_all)) s); logs in $out"
# The last fault's binaries are still in the build: built again from the restored code, so
# that the next ctest runs what the sources say.
run cmake --build "$build" -j2 --target $(targets_for "$all_regex") >"$out/rebuilt.log" 2>&1 \
    || echo "rebuilding the restored code failed; see $out/rebuilt.log" >&2
exit $bad
