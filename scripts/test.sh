#!/usr/bin/env bash
# Builds the test build (Debug, ASan + UBSan) and runs every test, then the
# fuzz targets (clang, libFuzzer) for a short time each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_SANITIZE=ON >/dev/null
cmake --build build-test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
ctest --test-dir build-test -j "$jobs" --output-on-failure || status=1
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
LARK_FUZZ_SECONDS=${LARK_FUZZ_SECONDS:-10} ctest --test-dir build-fuzz -j "$jobs" --output-on-failure || status=1
exit $status
