#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Dorvel need.
# Sourced by the other scripts; does nothing when everything is present.
set -euo pipefail

DORVEL_PACKAGES=(
    cmake g++ ninja-build
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-qpa-plugins libgl-dev
    dbus-daemon xvfb xauth at-spi2-core
    sqlite3 libsqlite3-dev procps xdotool
    # The package and its checks: dpkg-shlibdeps (with file), the validators of the menu
    # entry and the metainfo, and the SVG icon engine the package depends on.
    dpkg-dev file desktop-file-utils appstream libqt6svg6
    # libFuzzer and the sanitizer runtimes for the fuzz targets.
    clang-14 libclang-rt-14-dev
    # Qt's own texts in German; screenshots of the real window: a window manager, a tray
    # and capture.
    qt6-translations-l10n openbox trayer imagemagick
    # The power test on a real kernel (tests/vm): the emulator, its disk tool, and the maker
    # of the Debian guest with the file system tools that turn it into a disk.
    qemu-system-x86 qemu-utils mmdebstrap e2fsprogs
)

dorvel_install_deps() {
    local missing=()
    for p in "${DORVEL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
