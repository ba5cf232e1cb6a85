#!/usr/bin/env bash
# Makes the guest for the power test on a real kernel: a Debian 12 root file system with
# systemd, logind, polkit, udev, an X server for a desktop session, the accessibility bus and
# the Qt runtime, plus Debian's kernel and an initrd. Dorvel itself is not in it: each run
# brings the freshly built programs through a shared folder (see run.sh).
#
#   tests/vm/image.sh <folder>
#
# Writes <folder>/root.img, vmlinuz and initrd.img, and a stamp; does nothing while the stamp
# matches this script. Needs root (mmdebstrap, file ownership inside the image), mmdebstrap,
# e2fsprogs and Debian's package mirror. Exit status 77: this host cannot make the guest.
set -euo pipefail

out=$(realpath -m "$1")
here=$(cd "$(dirname "$0")" && pwd)
stamp="$out/image.stamp"
want=$(cat "$here/image.sh" "$here/guest/customize.sh" | sha256sum | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$out/root.img" ]; then
    echo "guest image: up to date ($out)"
    exit 0
fi

skip() {
    echo "SKIP: $*" >&2
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "making the guest image needs root (mmdebstrap in root mode)"
for tool in mmdebstrap mkfs.ext4 qemu-system-x86_64 qemu-img; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/deps.sh installs it)"
done
mirror=$(sed -nE 's/^URIs: *(http[^ ]*debian)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
    head -1)
mirror=${mirror:-http://deb.debian.org/debian}
mirrorhost=$(sed -E 's#^https?://([^/]+).*#\1#' <<<"$mirror")
if ! timeout 20 bash -c "exec 3<>/dev/tcp/$mirrorhost/80" 2>/dev/null; then
    skip "the package mirror $mirror cannot be reached"
fi

rm -rf "$out"
mkdir -p "$out"
tree="$out/tree"

packages=(
    # The machine: init, the system bus, device manager, logind with PAM sessions, polkit, and
    # the kernel (its initrd is made while it is installed).
    systemd systemd-sysv dbus dbus-user-session libpam-systemd udev polkitd
    linux-image-amd64 kmod login passwd procps util-linux
    # A desktop session without a screen: X server, the accessibility bus (buttons are
    # pressed through it as a screen reader would), the notification-less session bus.
    xvfb xauth at-spi2-core
    # The Qt runtime dorvel and its tools link against.
    libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libqt6sql6 libqt6sql6-sqlite
    libqt6svg6 qt6-qpa-plugins libqt6network6
)

begin=$(date +%s)
# The initrd needs only what finds the root disk; a short list makes it small and fast.
# shellcheck disable=SC2016
mmdebstrap --mode=root --variant=apt --include="$(IFS=,; echo "${packages[*]}")" \
    --aptopt='APT::Install-Recommends "false"' \
    --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
    --dpkgopt='path-exclude=/usr/share/locale/*' \
    --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d" "$1/usr/share/initramfs-tools/modules.d"
        echo MODULES=list >"$1/etc/initramfs-tools/conf.d/vm.conf"
        printf "%s\n" virtio_pci virtio_blk ext4 >"$1/usr/share/initramfs-tools/modules.d/vm"' \
    --customize-hook="\"$here/guest/customize.sh\" \"\$1\"" \
    bookworm "$tree" "$mirror" >"$out/mmdebstrap.log" 2>&1 ||
    {
        tail -30 "$out/mmdebstrap.log" >&2
        echo "mmdebstrap failed (full output: $out/mmdebstrap.log)" >&2
        exit 1
    }

cp "$tree"/boot/vmlinuz-* "$out/vmlinuz"
cp "$tree"/boot/initrd.img-* "$out/initrd.img"
rm -rf "$tree/boot"/* "$tree/var/cache/apt"/*.bin "$tree/var/lib/apt/lists"/*_Packages
mkfs.ext4 -q -L root -d "$tree" "$out/root.img" 2G
rm -rf "$tree"
echo "$want" >"$stamp"
echo "guest image: made in $(($(date +%s) - begin)) s ($out)"
