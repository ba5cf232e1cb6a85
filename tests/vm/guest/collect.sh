#!/bin/bash
# At power-off: gathers what the test looks at, one folder per boot, and writes all of it
# (the earlier boots' too) as a tar archive onto the results disk.
set -u
out=/var/lib/dorvel-vm/out
boot=$(cat /var/lib/dorvel-vm/boots)
to=$out/boot$boot
mkdir -p "$to"
home=/home/rec
cp "$home/.local/state/Dorvel/Dorvel.log" "$to/Dorvel.log" 2>/dev/null
cp "$home/notify-boot$boot.log" "$to/" 2>/dev/null
cp "$home/.config/autostart/Dorvel.desktop" "$to/autostart.desktop" 2>/dev/null
ls -l --time-style=+%s "$home/sandbox/recordings/" >"$to/recordings.txt" 2>&1
cat /sys/class/rtc/rtc0/wakealarm >"$to/wakealarm" 2>&1
cat /proc/driver/rtc >"$to/proc-rtc" 2>&1
journalctl -b --no-pager -o short-iso >"$to/journal.txt" 2>&1
date -u '+%s' >"$to/clock"
tar -C "$out" -cf /dev/vdb .
sync
