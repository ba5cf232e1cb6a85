#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz and runs each for a while on its seed corpus from tests/fuzz/corpus.
#   scripts/fuzz.sh [seconds per target, default 300] [target...]
# A crash stops at once; its input is kept as build-fuzz/tests/fuzz/scratch/<target>-crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
dorvel_install_deps

seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_settingsini fuzz_datetime fuzz_filename fuzz_settings fuzz_loader)

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DDORVEL_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target dorvel_fuzzers

for t in "${targets[@]}"; do
    echo "== $t, ${seconds} s"
    log="build-fuzz/tests/fuzz/$t.log"
    status=0
    tests/fuzz/run_fuzzer.sh "build-fuzz/bin/$t" "tests/fuzz/corpus/$t" \
        "build-fuzz/tests/fuzz/scratch/$t" -max_total_time="$seconds" >"$log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|broken promise|SUMMARY' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "$t failed ($status); the input is kept as build-fuzz/tests/fuzz/scratch/$t-*, the output in $log" >&2
        exit 1
    fi
done
