#!/usr/bin/env bash
# Builds the test build (Debug, ASan + UBSan) and runs every test; runs the
# thread-heavy tests again under ThreadSanitizer; then builds the fuzz
# targets (clang, libFuzzer) and runs each for a short time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
status=0

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_SANITIZE=ON >/dev/null
cmake --build build-test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test -j "$jobs" --output-on-failure || status=1

# Tests whose code runs on several threads, again under ThreadSanitizer.
tsan_tests=(platform_event_loop platform_process platform_key_store devices_port_table
            devices_ascii_ups_pty devices_serial_trace core_event_log core_language_texts core_device_tree
            core_link_server core_link_callback records_alarm_chain service_larkcore)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_TSAN=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target Larkcore ups_sim Larknote \
  $(printf 'test_%s_test ' "${tsan_tests[@]}")
pattern=$(printf '%s\n' "${tsan_tests[@]}" | sed 's/_/./' | sed 's/$/_test/' | paste -sd'|')
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j "$jobs" -R "^($pattern)\$" \
  --output-on-failure || status=1

export LARK_FUZZ_SECONDS=${LARK_FUZZ_SECONDS:-10}  # read when the fuzz build is configured
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz -j "$jobs" --output-on-failure \
  || status=1
exit $status
