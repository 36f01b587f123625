#!/bin/sh
# Console link round trips against a plain TCP echo server in the same run.
# Builds its own optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# Then the consoles' status polls over 10,000 devices: the service's added CPU.
# usage: bench/link_bench.sh [--seconds S] [--consoles N] [--devices D]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build link_bench
exec "$bench_build/bench/link_bench" "$@"
