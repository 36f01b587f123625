#!/usr/bin/env bash
# Builds and runs, each stage going on when an earlier one failed:
#  1. the test build (Debug, ASan + UBSan): every test;
#  2. the Release build users run (no sanitizers): every test again;
#  3. ThreadSanitizer: the thread-heavy tests;
#  4. the fuzz build (clang, libFuzzer): each target for a short time.
# Warnings are errors in every stage. Exits non-zero when any stage failed.
#
# --stress instead builds stage 1 and runs its tests twice, two at a time per
# core, while stress-ng keeps every core busy: the tests wait for what they
# check, so a loaded machine must not fail them. LARK_CORES (default: the
# core count) and LARK_STRESS_CPU (default: LARK_CORES) scale it down on a
# shared machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=${LARK_CORES:-$(nproc)}
status=0

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_SANITIZE=ON -DLARK_WERROR=ON >/dev/null
if [ "${1:-}" = "--stress" ]; then
  cmake --build build-test -j "$jobs"
  stress-ng --cpu "${LARK_STRESS_CPU:-$jobs}" --quiet &
  load=$!
  trap 'kill "$load"; wait "$load" || true' EXIT
  for round in 1 2; do
    echo "stress round $round"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      bash scripts/contained.sh ctest --test-dir build-test -j $((2 * jobs)) --output-on-failure || status=1
  done
  exit $status
fi
if cmake --build build-test -j "$jobs"; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    bash scripts/contained.sh ctest --test-dir build-test -j "$jobs" --output-on-failure || status=1
else
  status=1
fi

cmake -S . -B build-release-test -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARK_WERROR=ON >/dev/null
if cmake --build build-release-test -j "$jobs"; then
  bash scripts/contained.sh ctest --test-dir build-release-test -j "$jobs" --output-on-failure || status=1
else
  status=1
fi

# Tests whose code runs on several threads, again under ThreadSanitizer.
tsan_tests=(platform_event_loop platform_process platform_key_store devices_port_table
            devices_ascii_ups_pty devices_serial_trace core_event_log core_language_texts core_device_tree
            linkserver_link_server linkserver_link_callback records_alarm_chain service_larkcore
            records_history_recorder service_history_service)
tsan_tests+=(core_group_totals devices_modbus_rtu_pty)
tsan_tests+=(devices_plc_pty devices_gprs_link service_gprs_service)
tsan_tests+=(snmp_snmp_device_table)
tsan_tests+=(records_mail_sender records_sms_sender)
tsan_tests+=(records_database service_database_console service_service_database service_database_backup)  # the database thread and its callers
tsan_tests+=(consolelink_link_fake_service consolelink_console_alarms)
tsan_tests+=(records_report_writer service_report_service)
tsan_tests+=(devices_binary_ups_pty)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_TSAN=ON -DLARK_WERROR=ON >/dev/null
if cmake --build build-tsan -j "$jobs" --target Larkcore ups_sim ups3_sim Larknote line_pacer plc_sim gprs_sim gsm_sim larkkey \
  $(printf 'test_%s_test ' "${tsan_tests[@]}"); then
  pattern=$(printf '%s\n' "${tsan_tests[@]}" | sed 's/_/./' | sed 's/$/_test/' | paste -sd'|')
  TSAN_OPTIONS=halt_on_error=1 bash scripts/contained.sh ctest --test-dir build-tsan -j "$jobs" -R "^($pattern)\$" \
    --output-on-failure || status=1
else
  status=1
fi

export LARK_FUZZ_SECONDS=${LARK_FUZZ_SECONDS:-10}  # read when the fuzz build is configured
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARK_FUZZ=ON \
  -DLARK_WERROR=ON >/dev/null
if cmake --build build-fuzz -j "$jobs"; then
  bash scripts/contained.sh ctest --test-dir build-fuzz -j "$jobs" --output-on-failure || status=1
else
  status=1
fi
exit $status
