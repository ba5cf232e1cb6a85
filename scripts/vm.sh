#!/usr/bin/env bash
# Builds Dorvel and runs the power test on a real Linux kernel (tests/vm/run.sh): a QEMU
# guest with systemd-logind, polkit and an emulated CMOS RTC in which Dorvel suspends and
# wakes by its alarm, and the wake-up tool arms the alarm, powers off and the next boot
# records by autostart. The guest image is made once per build folder (needs root and
# Debian's package mirror) and reused. Prints each phase with its time.
#   scripts/vm.sh [scenario...]   (standby, cmos, fail; default all)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
tests/vm/image.sh build/vm/image
exec tests/vm/run.sh build "$@"
