#!/usr/bin/env bash
# Unattended recording on a real Linux kernel: QEMU (TCG) boots the Debian 12 guest of
# image.sh with systemd-logind, polkit, udev and an emulated CMOS RTC, Dorvel installed from
# this build (cmake --install), a recording user who logs in automatically on tty1 and a
# desktop session that runs the XDG autostart entries. Each scenario gets a fresh copy of the
# disk and a shared folder through which the programs go in and the results come out.
#
#   tests/vm/run.sh <build folder> [scenario...]     (default: all of them)
#
# Scenarios:
#   standby  StandBy pressed; after the first recording Dorvel suspends the guest through
#            logind with its RTC wake alarm, the alarm wakes it, the next recording starts
#            on time; after the last one Dorvel powers the guest off.
#   cmos     "min cmos" with the ITime rule: after the recording the wake-up tool arms the
#            RTC alarm and powers the guest off; a second boot with the clock at the alarm
#            time starts Dorvel by automatic login and autostart, and it records the next
#            entry.
#   fail     As cmos, but the alarm is not writable: Dorvel's check of the tool says so and
#            Dorvel keeps running; the tool run on its own reports the failure (standard
#            error, event log, desktop notification), arms nothing and starts "dorvel min".
#
# Exit status 0 when every check passed, 1 when one failed, 77 when this host cannot run
# the guest at all (the reason is printed).
set -euo pipefail
build=$(realpath "$1")
shift
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(standby cmos fail)
here=$(cd "$(dirname "$0")" && pwd)
image=$build/vm/image
work=$build/vm/run
t0=$(date +%s)
# Real seconds one boot may take, start to power-off. The guest's own clock does not depend on
# it: it counts executed instructions and skips idle time.
limit=${DORVEL_VM_BOOT_SECONDS:-240}

phase() { echo "[$(($(date +%s) - t0)) s] $*"; }

status=0
"$here/image.sh" "$image" || status=$?
[ $status -eq 0 ] || exit $status
phase "guest image ready"

rm -rf "$work"
mkdir -p "$work"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr --strip >"$work/install.log"
phase "Dorvel installed into the staging root"

# One boot of a scenario's guest; returns when the guest has powered off (QEMU ends). When
# the time is up the guest is asked to power off (ACPI button), so that it still hands out its
# results, and stopped if it does not; the status is then 124.
#   boot <scenario> <number> <rtc base: utc or yyyy-mm-ddThh:mm:ss> <rtc clock> <seconds>
boot() {
    local dir=$work/$1 rc=0 begin
    begin=$(date +%s)
    rm -f "$dir/monitor.in" "$dir/monitor.out"
    truncate -s 64M "$dir/results-boot$2.img"
    mkfifo "$dir/monitor.in" "$dir/monitor.out"
    # icount without sleeping: while the guest idles its clock leaps to the next timer, so
    # waits cost no real time. The RTC follows that clock (vm), except where the guest
    # suspends (host): QEMU stops the virtual clock of a guest in S3, and its alarm would
    # never come. QEMU resets the TSC on the wake-up; tsc=unstable keeps the kernel from
    # counting that as hours asleep (it counts the time asleep on the RTC instead).
    qemu-system-x86_64 -machine pc,accel=tcg -cpu max -m 1024 \
        -smp 1 -icount shift=0,sleep=off -rtc base="$3",clock="$4" \
        -global PIIX4_PM.disable_s3=0 -no-reboot -display none -monitor "pipe:$dir/monitor" \
        -serial "file:$dir/serial-boot$2.log" \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 systemd.show_status=0 tsc=unstable" \
        -drive "file=$dir/disk.qcow2,if=virtio,format=qcow2,cache=unsafe" \
        -drive "file=$dir/results-boot$2.img,if=virtio,format=raw" \
        -virtfs "local,path=$dir/share,mount_tag=host,security_model=passthrough" \
        >"$dir/qemu-boot$2.log" 2>&1 &
    local qemu=$!
    cat "$dir/monitor.out" >/dev/null &
    local asked=0
    while kill -0 "$qemu" 2>/dev/null; do
        local spent=$(($(date +%s) - begin))
        if [ $asked -eq 0 ] && [ $spent -ge "$5" ]; then
            echo "time is up after $spent s: pressing the power button" >&2
            echo system_powerdown >"$dir/monitor.in"
            asked=1
            rc=124
        elif [ $spent -ge $(($5 + 60)) ]; then
            kill "$qemu"
            break
        fi
        sleep 1
    done
    local status=0
    wait "$qemu" || status=$?
    [ $rc -ne 0 ] || rc=$status
    # QEMU ends with 0 when it is killed, too.
    if [ $rc -eq 0 ] && grep -q 'terminating on signal' "$dir/qemu-boot$2.log"; then
        rc=143
    fi
    echo "$(($(date +%s) - begin))" >"$dir/seconds-boot$2"
    mkdir -p "$dir/out"
    tar -xf "$dir/results-boot$2.img" -C "$dir/out" 2>/dev/null || echo "boot $2 left no results" >&2
    return $rc
}

prepare() {
    local dir=$work/$1
    mkdir -p "$dir/share/bin"
    cp -a "$work/root" "$dir/share/root"
    cp -a "$here/guest" "$dir/share/guest"
    cp "$build/bin/vm-press" "$build/bin/vm-rtc-jump" "$dir/share/bin/"
    qemu-img create -q -f qcow2 -b "$image/root.img" -F raw "$dir/disk.qcow2"
    case $1 in
    standby) printf 'SCENARIO=standby\nSHUTDOWN_TYPE=LastRec\nSLEEP_FAST=yes\n' ;;
    cmos) printf 'SCENARIO=cmos\nSHUTDOWN_TYPE=Rule\n' ;;
    fail) printf 'SCENARIO=fail\nSHUTDOWN_TYPE=Rule\nALARM_WRITABLE=no\n' ;;
    esac >"$dir/share/scenario"
}

run_standby() {
    boot standby 1 utc host "$limit"
}

run_cmos() {
    boot cmos 1 utc vm "$limit" || return $?
    local alarm
    alarm=$(cat "$work/cmos/out/boot1/wakealarm" 2>/dev/null || true)
    [[ $alarm =~ ^[0-9]+$ ]] || return 0
    # The PC comes on at the alarm: the guest's clock starts there.
    boot cmos 2 "$(date -u -d "@$alarm" '+%Y-%m-%dT%H:%M:%S')" vm "$limit"
}

run_fail() {
    boot fail 1 utc vm "$limit"
}

# Runs the scenarios side by side (each guest uses one host core at most).
declare -A pids
for s in "${scenarios[@]}"; do
    prepare "$s"
    "run_$s" >"$work/$s/run.log" 2>&1 &
    pids[$s]=$!
done
phase "guests started: ${scenarios[*]}"
declare -A rcs
for s in "${scenarios[@]}"; do
    rc=0
    wait "${pids[$s]}" || rc=$?
    rcs[$s]=$rc
    phase "$s: guests ended (status $rc; boots took $(cat "$work/$s"/seconds-boot* | xargs | sed 's/ / s, /g') s)"
done

# ---- What the user would notice ------------------------------------------------------------
failures=0
check() { # <scenario> <description> <command...>
    local s=$1 what=$2
    shift 2
    if "$@" >/dev/null 2>&1; then
        echo "PASS $s: $what"
    else
        echo "FAIL $s: $what"
        failures=$((failures + 1))
    fi
}
has() { grep -qF -- "$2" "$1"; }
lacks() { [ -f "$1" ] && ! grep -qF -- "$2" "$1"; }
empty_file() { [ -f "$1" ] && [ ! -s "$1" ]; }
count_is() { [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -eq "$3" ]; }
plan() { sed -n "s/^$2=//p" "$work/$1/out/plan" | head -1; }
stamp() { date -u -d "@$1" '+%Y-%m-%d %H:%M:%S'; }
# A recording file of that title that is not empty.
recorded() { awk -v t="$2" '$NF ~ "^"t && $5 > 0 {found=1} END {exit !found}' "$1/recordings.txt"; }
# The first log line with that text was written between the two times.
logged_between() { # <log> <text> <from> <to>
    local line at
    line=$(grep -F -- "$2" "$1" | head -1) || return 1
    at=$(date -u -d "${line:0:19}" +%s) || return 1
    [ "$at" -ge "$3" ] && [ "$at" -le "$4" ]
}
# The viewer was started for that title at or after its launch time, within the given seconds.
started_on_time() { logged_between "$1" "/file=$2" "$3" $(($3 + $4)); } # <log> <title> <launch> <slack>
# The guest powered off at a request to logind (not by the power button the host presses when
# time is up).
powered_off() { # <scenario> <boot>
    grep -qF 'reboot: Power down' "$work/$1/serial-boot$2.log" &&
        grep -qF 'The system will power off now!' "$work/$1/out/boot$2/journal.txt" &&
        ! grep -qF 'Power key pressed' "$work/$1/out/boot$2/journal.txt"
}

for s in "${scenarios[@]}"; do
    out=$work/$s/out
    check "$s" "the guest ran to its end (no time-out)" test "${rcs[$s]}" -eq 0
    case $s in
    standby)
        b=$out/boot1 morning=$(plan standby Morning) evening=$(plan standby Evening)
        check "$s" "the first recording was made" recorded "$b" Morning
        check "$s" "Dorvel suspended the guest for its wake-up (event log)" \
            has "$b/Dorvel.log" "   StandBy for "
        check "$s" "an RTC wake alarm was armed when the guest went to sleep" \
            has "$b/journal.txt" "vm-rtc-jump: RTC and clock moved"
        check "$s" "the kernel suspended to RAM and resumed once" \
            count_is "$b/journal.txt" "PM: suspend exit" 1
        check "$s" "logind carried out the suspend" has "$b/journal.txt" "The system will suspend now!"
        check "$s" "the RTC woke the guest two minutes before the next launch" \
            logged_between "$b/Dorvel.log" "   Resumed" $((evening - 125)) $((evening - 100))
        check "$s" "the second recording started on time, after the wake-up" \
            started_on_time "$b/Dorvel.log" Evening "$evening" 30
        check "$s" "the second recording was made" recorded "$b" Evening
        check "$s" "after the last recording Dorvel powered the guest off" \
            has "$b/Dorvel.log" "   Shutdown after last record"
        check "$s" "the guest powered off" powered_off "$s" 1
        ;;
    cmos)
        b=$out/boot1 night=$(plan cmos Night)
        wake=$((night - 180))
        check "$s" "the first recording was made" recorded "$b" Morning
        check "$s" "Dorvel ran the wake-up tool three minutes before the next launch" \
            has "$b/Dorvel.log" "   Run Nocturo with /usr/lib/dorvel/Nocturo.exe /wakeup=$(stamp "$wake")"
        alarm=$(cat "$b/wakealarm" 2>/dev/null || echo 0)
        # Armed relative to a clock that is part-way through a second: up to 2 s early.
        check "$s" "the RTC alarm read back in the guest is that time" \
            test "$alarm" -le "$wake" -a "$alarm" -ge $((wake - 2))
        check "$s" "the autostart entry starts Dorvel minimised in wake-up mode" \
            grep -qE '^Exec=.*/dorvel min cmos$' "$b/autostart.desktop"
        check "$s" "the guest powered off through logind" powered_off "$s" 1
        b2=$out/boot2
        check "$s" "the second boot began at the alarm time" \
            test "$(cat "$out/boot2.clock" 2>/dev/null || echo 0)" -ge "$alarm"
        check "$s" "the autostart entry started Dorvel in wake-up mode" \
            has "$b2/Dorvel.log" "   Dorvel started with Nocturo=on"
        check "$s" "the next recording started on time" \
            started_on_time "$b2/Dorvel.log" Night "$night" 30
        check "$s" "the next recording was made" recorded "$b2" Night
        check "$s" "after it Dorvel powered the guest off" powered_off "$s" 2
        ;;
    fail)
        b=$out/boot1
        check "$s" "the first recording was made" recorded "$b" Morning
        check "$s" "Dorvel did not run the tool: its check failed" \
            lacks "$b/Dorvel.log" "   Run Nocturo with "
        check "$s" "Dorvel said why it keeps running, naming the alarm" \
            grep -qE 'wake-up tool cannot switch the PC off.*wakealarm' "$b/Dorvel.log"
        check "$s" "Dorvel kept running after its check failed" grep -qE '^stays=[0-9]+$' "$out/plan"
        check "$s" "the tool run on its own failed" grep -qx 'tool=1' "$out/plan"
        check "$s" "the tool said why on standard error" grep -q 'wakealarm' "$out/nocturo.err"
        check "$s" "the tool's failure is in the event log" has "$b/Dorvel.log" "   Nocturo failed: "
        check "$s" "the tool sent a desktop notification" \
            has "$b/notify-boot1.log" "the PC could not be switched off for the next recording"
        check "$s" "no alarm is left armed" empty_file "$b/wakealarm"
        check "$s" "the tool started Dorvel again, minimised" grep -qE '^again=[0-9]+ .*dorvel min' "$out/plan"
        ;;
    esac
done
phase "done: $failures failed check(s)"
[ $failures -eq 0 ] || {
    echo "Guest logs: $work/<scenario>/ (serial-boot*.log, out/boot*/)"
    exit 1
}
