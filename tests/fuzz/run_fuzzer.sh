#!/usr/bin/env bash
# Runs one fuzz target on a fresh scratch corpus plus its seeds (which it never writes to).
#   run_fuzzer.sh <fuzzer> <seed folder> <scratch folder> <libFuzzer options...>
# A crash leaves its input as <scratch folder>-crash-* and fails.
set -euo pipefail
fuzzer=$1 seeds=$2 scratch=$3
shift 3
rm -rf "$scratch" "$scratch"-crash-* "$scratch"-leak-* "$scratch"-timeout-* "$scratch"-oom-*
mkdir -p "$scratch"
export TZ=Europe/Berlin LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$fuzzer" -seed=1 -max_len=4096 -print_final_stats=1 -artifact_prefix="$scratch-" \
    "$@" "$scratch" "$seeds"
