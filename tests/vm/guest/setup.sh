#!/bin/bash
# Runs as root at every boot of the guest, before the automatic login. At the first boot of
# a run it installs Dorvel from the shared folder (the tree `cmake --install` made, with its
# udev and polkit rules) and prepares the recording user: a demo viewer folder and database,
# the settings of the scenario and the wake-up tool recorded as installed. The scripts of the
# later steps are copied to the disk, and the shared folder is let go: it would not survive
# a suspend.
set -euo pipefail
share=/mnt/host
lib=/usr/local/lib/dorvel-vm
state=/var/lib/dorvel-vm
out=$state/out
mkdir -p "$lib" "$out"
chmod 1777 "$out"
cp "$share"/guest/*.sh "$share/scenario" "$lib/"
# shellcheck source=/dev/null
. "$lib/scenario"
boot=$(($(cat "$state/boots" 2>/dev/null || echo 0) + 1))
echo "$boot" >"$state/boots"
date -u '+%s' >"$out/boot$boot.clock"
echo "vm-setup: boot $boot of scenario $SCENARIO, guest clock $(date -u '+%F %T') UTC"

if [ "$boot" -eq 1 ]; then
    cp -a "$share/root/." /
    install -m 755 "$share/bin/vm-press" "$share/bin/vm-rtc-jump" /usr/local/bin/
    if [ "${SLEEP_FAST:-no}" = yes ]; then
        # The minutes asleep pass in seconds: right before the kernel suspends, the RTC is
        # moved to shortly before the alarm Dorvel armed (and the kernel counts the time
        # asleep on the RTC, so the clock is right after the wake-up).
        mkdir -p /usr/lib/systemd/system-sleep
        printf '#!/bin/sh\n[ "$1" = pre ] && exec /usr/local/bin/vm-rtc-jump 5\nexit 0\n' \
            >/usr/lib/systemd/system-sleep/vm-rtc-jump
        chmod 755 /usr/lib/systemd/system-sleep/vm-rtc-jump
    fi
    # The rules Dorvel installs: the wake alarm and power-off for the group they name.
    rules=$(grep -rls wakealarm /usr/lib/udev/rules.d || true)
    group=$(sed -nE 's/.*RUN\+="\/bin\/chgrp ([A-Za-z0-9_-]+) .*/\1/p' $rules | head -1)
    [ -n "$group" ] || { echo "vm-setup: no udev rule for the wake alarm installed" >&2; exit 1; }
    groupadd -f "$group"
    usermod -aG "$group" rec
    echo "vm-setup: rules $rules, group $group"
    udevadm control --reload
    udevadm trigger --action=add --subsystem-match=rtc
    udevadm settle
fi
if [ "${ALARM_WRITABLE:-yes}" = no ]; then
    chgrp root /sys/class/rtc/rtc0/wakealarm
    chmod 0644 /sys/class/rtc/rtc0/wakealarm
fi
ls -l /sys/class/rtc/rtc0/wakealarm

if [ "$boot" -eq 1 ]; then
    runuser -u rec -- "$lib/user-setup.sh"
fi
umount -l "$share"
