#!/bin/sh
# Runs on the host while the guest image is made (mmdebstrap's customize hook); $1 is the
# guest's root. Everything that changes from run to run (the programs, the rules, what a
# scenario does) comes at boot from the shared folder /mnt/host instead, so this stays
# stable and the image is made once. The shared folder is used only at boot: after a suspend
# its virtio transport is gone (its driver cannot resume), so the setup copies what later
# steps need to the guest's disk, and the results leave through a disk of their own.
set -eu
root=$1

echo dorvel-vm >"$root/etc/hostname"
printf '127.0.1.1 dorvel-vm\n' >>"$root/etc/hosts"
cat >"$root/etc/fstab" <<'EOF'
/dev/vda / ext4 rw,noatime 0 1
host /mnt/host 9p trans=virtio,version=9p2000.L,msize=262144,cache=none,nofail 0 0
EOF
mkdir -p "$root/mnt/host"
ln -sf /usr/share/zoneinfo/UTC "$root/etc/localtime"
echo UTC >"$root/etc/timezone"

# The recording user; the user logs in on tty1 without a password, as a PC set up for
# unattended recording does.
chroot "$root" useradd -m -s /bin/bash -u 1000 rec
chroot "$root" passwd -d rec >/dev/null
mkdir -p "$root/etc/systemd/system/getty@tty1.service.d"
cat >"$root/etc/systemd/system/getty@tty1.service.d/autologin.conf" <<'EOF'
[Service]
ExecStart=
ExecStart=-/sbin/agetty --autologin rec --noclear %I $TERM
EOF
# The login starts the desktop session of the scenario (a script of the shared folder).
cat >>"$root/home/rec/.profile" <<'EOF'

if [ "$(tty)" = /dev/tty1 ] && [ -x /usr/local/lib/dorvel-vm/session.sh ]; then
    exec /usr/local/lib/dorvel-vm/session.sh
fi
EOF

# Before anyone logs in: install the programs and rules of this run (as root).
cat >"$root/etc/systemd/system/vm-setup.service" <<'EOF'
[Unit]
Description=Install the programs and rules of this test run
RequiresMountsFor=/mnt/host
After=systemd-udev-trigger.service polkit.service
Before=systemd-user-sessions.service getty@tty1.service

[Service]
Type=oneshot
RemainAfterExit=yes
ExecStart=/mnt/host/guest/setup.sh
StandardOutput=journal+console

[Install]
WantedBy=multi-user.target
EOF
# At power-off: write what the test looks at to the results disk.
cat >"$root/etc/systemd/system/vm-collect.service" <<'EOF'
[Unit]
Description=Write the results of this boot to the results disk
After=vm-setup.service systemd-user-sessions.service

[Service]
Type=oneshot
RemainAfterExit=yes
ExecStart=/bin/true
ExecStop=/usr/local/lib/dorvel-vm/collect.sh
TimeoutStopSec=30

[Install]
WantedBy=multi-user.target
EOF
wants="$root/etc/systemd/system/multi-user.target.wants"
mkdir -p "$wants"
ln -sf /etc/systemd/system/vm-setup.service "$wants/vm-setup.service"
ln -sf /etc/systemd/system/vm-collect.service "$wants/vm-collect.service"

# Nothing that runs on its own and takes time from the test.
for unit in apt-daily.timer apt-daily-upgrade.timer e2scrub_all.timer e2scrub_reap.service \
    fstrim.timer dpkg-db-backup.timer systemd-tmpfiles-clean.timer man-db.timer \
    systemd-networkd-wait-online.service; do
    ln -sf /dev/null "$root/etc/systemd/system/$unit"
done
