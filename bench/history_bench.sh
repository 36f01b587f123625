#!/bin/sh
# One history walk over 1000 devices against a plain append loop of the same
# lines, in the same run. Builds its own optimised tree (build-bench, or
# $LARK_BENCH_BUILD) when needed.
# usage: bench/history_bench.sh [--devices N] [--walks W]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build history_bench
exec "$bench_build/bench/history_bench" "$@"
