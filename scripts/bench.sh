#!/usr/bin/env bash
# Builds Dorvel in Release and runs every benchmark of bench/ (the ctest label "bench"). Each
# benchmark measures against an anchor in the same run; this prints its ratio lines (with
# their targets) and whether it passed. Exits non-zero when a benchmark failed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

jobs=$(nproc)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j"$jobs"

cd build-release
mapfile -t benchmarks < <(ctest -N -L bench | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p')
if [ ${#benchmarks[@]} -eq 0 ]; then
    echo "no benchmarks found" >&2
    exit 1
fi
failed=()
for name in "${benchmarks[@]}"; do
    echo "== $name"
    status=0
    out=$(ctest -R "^${name}\$" --verbose 2>&1) || status=$?
    # ctest puts the test's number before each line of its output.
    sed -nE 's/^[0-9]+: (.*(ratio|target).*)$/   \1/p' <<<"$out"
    if [ $status -eq 0 ]; then
        echo "   passed"
    else
        echo "   FAILED (full output: ctest -R '^${name}\$' --verbose in build-release)"
        failed+=("$name")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Benchmarks that failed: ${failed[*]}" >&2
    exit 1
fi
