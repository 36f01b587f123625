#!/bin/sh
# The GPRS station link with 1000 simulated stations beside a plain epoll
# server in the same run: CPU per report and RSS. Builds its own optimised
# tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/gprs_bench.sh [--stations N] [--seconds S] [--round-ms R]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build gprs_bench gprs_sim
exec "$bench_build/bench/gprs_bench" "$bench_build/tools/gprs_sim" "$@"
