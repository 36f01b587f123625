#!/bin/sh
# The device list's one-second refresh over 1000 devices (nothing changed,
# every cell changed) beside a QStandardItemModel taking the same texts.
# Builds its own optimised tree (build-bench, or $LARK_BENCH_BUILD).
# usage: bench/list_refresh_bench.sh [--devices N]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build list_refresh_bench
exec "$bench_build/bench/list_refresh_bench" "$@"
