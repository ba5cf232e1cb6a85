#!/usr/bin/env bash
# Do the tests catch the faults they should? Makes each small, plausible change below, one at a
# time, in a scratch copy of the tree (uncommitted changes included), builds the tests that
# should notice it, runs them, and lists every change that passed them all.
#
#   scripts/mutate.sh [NAME-PATTERN]     only the changes whose name matches (grep -E)
#
# One rebuild and test run per change: slow, so it is not part of scripts/test.sh. Each test run
# takes the shared test lock itself; do not start this script under that lock. Exit status 1
# when a change survived or the unchanged tree fails its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
filter=${1:-.}
lock=/tmp/dorvel-tests.lock

# The scratch copy sits below build*/ (ignored by git) at the same depth as build/, so that
# ccache, rewriting paths relative to CCACHE_BASEDIR, serves the unchanged files from the cache
# of an ordinary build.
scratch=$root/build-mutate/tree
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

rm -rf "$scratch"
mkdir -p "$scratch"
git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$scratch"
cmake -S "$scratch" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${launcher[@]}" >/dev/null
log=$root/build-mutate/last.log

# name, file, text to replace (once, exactly), replacement, the tests that should catch it
names=() files=() froms=() tos=() tests=()
mutant() {
    names+=("$1") files+=("$2") froms+=("$3") tos+=("$4") tests+=("${*:5}")
}

mutant countdown-length src/power/afterrecording.cpp \
    'nowSerial() + 15 * kSecond' 'nowSerial() + 5 * kSecond' \
    tst_afterrecording tst_shutdownform
mutant close-viewer-text-english src/core/messages.cpp \
    'A recording is scheduled in one minute!' 'A recording is scheduled in a minute!' \
    tst_texts tst_scheduler
mutant close-viewer-text-german src/core/messages.cpp \
    'Bitte schließen! Eine Aufnahme' 'Bitte beenden! Eine Aufnahme' \
    tst_texts tst_scheduler
mutant start-pending-default src/core/settings.h \
    '{"StartPendingRecord", "1"}' '{"StartPendingRecord", "0"}' \
    tst_settings tst_startup
mutant rtc-alarm-absolute src/platform/power_wakealarm.cpp \
    'writeText(path, "+" + QByteArray::number(seconds), error)' \
    'writeText(path, QByteArray::number(seconds), error)' \
    tst_logindpower
mutant stays-on-entry-without-channel src/scheduler/scheduler.cpp \
    'moveNextEventTo(r + 1);' 'moveNextEventTo(r);' \
    tst_scheduler
mutant starts-at-the-launch-time src/scheduler/scheduler.cpp \
    'if (now > m_list.nextEventTime && m_state.orbivuState == 0)' \
    'if (now >= m_list.nextEventTime && m_state.orbivuState == 0)' \
    tst_scheduler
mutant busy-window-wider src/scheduler/scheduler.h \
    'kBusyWindow = 0.00054444' 'kBusyWindow = 0.00064444' \
    tst_scheduler
mutant standby-margin src/power/afterrecording.cpp \
    'if (!nextLaunchFartherThan(10))' 'if (!nextLaunchFartherThan(9))' \
    tst_afterrecording
mutant wake-time-two-minutes src/power/afterrecording.cpp \
    'addSecs(-180)' 'addSecs(-120)' \
    tst_afterrecording
mutant count-below-zero src/power/afterrecording.cpp \
    'std::max(0, m.todo.recordingCount - 1)' '(m.todo.recordingCount - 1)' \
    tst_afterrecording
mutant stop-keeps-pending-action src/power/shutdownform.cpp \
    $'m_timer.stop();\n    m_state.pendingPowerAction.clear();' 'm_timer.stop();' \
    tst_shutdownform
mutant flag-any-number src/core/settings.cpp \
    'return text == QStringLiteral("1");' 'return text.toInt() != 0;' \
    tst_settings tst_startup
mutant exponent-without-digits src/core/settings.cpp \
    'if (skipDigits(j))' 'if (true)' \
    tst_settings
mutant native-append-empty-as-null src/todolist/loadreader.cpp \
    'if (text.isNull())' 'if (text.isEmpty())' \
    tst_viewerdb
mutant dot-kept-in-file-names src/scheduler/filename.cpp \
    "case '.':" "case '\"':" \
    tst_filename

# Builds the given tests and runs them; prints the failing ones.
run_tests() {
    local regex
    regex="^($(IFS='|'; echo "$*"))\$"
    if ! cmake --build "$scratch/build" -j"$(nproc)" --target "$@" >"$log" 2>&1; then
        echo "(does not build)"
        return 2
    fi
    if (cd "$scratch/build" && flock "$lock" ctest -R "$regex" >>"$log" 2>&1); then
        return 0
    fi
    sed -En 's/^[[:space:]]*[0-9]+ - ([^ ]+) \(.*/\1/p' "$log" | sort -u | xargs echo
    return 1
}

all_tests=$(printf '%s\n' "${tests[@]}" | tr ' ' '\n' | sort -u | tr '\n' ' ')
echo "Unchanged tree: building and running $all_tests"
# shellcheck disable=SC2086
if ! failing=$(run_tests $all_tests); then
    echo "The unchanged tree fails: $failing (see $log)"
    exit 1
fi

killed=0 survived=() skipped=()
for i in "${!names[@]}"; do
    name=${names[$i]} file=$scratch/${files[$i]} from=${froms[$i]} to=${tos[$i]}
    echo "$name" | grep -Eq -- "$filter" || continue
    text=$(<"$file")
    rest=${text//"$from"/}
    if [ $(((${#text} - ${#rest}) / ${#from})) -ne 1 ]; then
        echo "SKIPPED  $name: the text to change is not in ${files[$i]} exactly once"
        skipped+=("$name")
        continue
    fi
    cp "$file" "$file.orig"
    printf '%s\n' "${text/"$from"/"$to"}" >"$file"
    # shellcheck disable=SC2086
    if caught=$(run_tests ${tests[$i]}); then
        echo "SURVIVED $name (${tests[$i]})"
        survived+=("$name")
    elif [ "$caught" = "(does not build)" ]; then
        echo "SKIPPED  $name: does not build"
        skipped+=("$name")
    else
        echo "killed   $name by $caught"
        killed=$((killed + 1))
    fi
    # A fresh copy (new time stamp), so that the next build compiles the original again.
    cp "$file.orig" "$file"
    rm "$file.orig"
done

total=$((killed + ${#survived[@]}))
echo "Mutation score: $killed of $total changes caught${skipped:+, ${#skipped[@]} skipped}"
[ ${#survived[@]} -eq 0 ] || {
    echo "Survived: ${survived[*]}"
    exit 1
}
