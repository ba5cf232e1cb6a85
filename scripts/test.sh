#!/usr/bin/env bash
# Builds Dorvel and runs every test: unit, widget and end-to-end tests (among them the install
# into a scratch prefix and the Debian package with its checks), then the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a fixed
# count of executions (scripts/fuzz.sh runs them longer). Benchmarks are separate
# (scripts/bench.sh). The power test in a QEMU guest follows the unit, widget and
# end-to-end tests (label vm; also scripts/vm.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

jobs=$(nproc)
mkdir -p build/vm
tests/vm/image.sh build/vm/image >build/vm/image-background.log 2>&1 &
image_pid=$!
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -L 'unit|gui' --output-on-failure -j"$jobs")
# The end-to-end tests spend their time waiting for launch times, each in a process namespace
# of its own where the system grants one (tests/CMakeLists.txt): they run all at once.
(cd build && ctest -L e2e --output-on-failure -j16)
# Suspend, wake alarm, power-off and autostart on a real kernel in a QEMU guest. Its image,
# made from Debian's packages alone, has been made while the build ran.
wait "$image_pid" || echo "the guest image was not made in the background; the vm test tries again"
(cd build && ctest -L vm --output-on-failure)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORVEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs" --target dorvel_unit_tests
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest -L unit --output-on-failure -j"$jobs")

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DDORVEL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target dorvel_fuzzers
(cd build-fuzz && ctest -L fuzz --output-on-failure -j"$jobs")
