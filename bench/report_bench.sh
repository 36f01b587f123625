#!/bin/sh
# A one-month period report of 100 SNMP devices from month files against awk
# computing the same per-column minimum, maximum and mean over the same files,
# in the same run. Builds its own optimised tree (build-bench, or
# $LARK_BENCH_BUILD) when needed.
# usage: bench/report_bench.sh [--devices N] [--period S] [--runs R]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build report_bench
exec "$bench_build/bench/report_bench" "$@"
