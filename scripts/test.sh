#!/usr/bin/env bash
# Builds Dorvel and runs every test: unit, widget and end-to-end tests (among them the install
# into a scratch prefix and the Debian package with its checks), then the unit tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer. Benchmarks are separate
# (scripts/bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -L 'unit|gui|e2e' --output-on-failure -j"$jobs")

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORVEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest -L unit --output-on-failure -j"$jobs")
