#!/bin/sh
# The viewer's graph rebuild on a 44,640-line month (span "3 days", last
# window, whole file read) beside a plain count of the file's lines. Builds
# its own optimised tree (build-bench, or $LARK_BENCH_BUILD).
# usage: bench/viewer_bench.sh
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build viewer_bench
exec "$bench_build/bench/viewer_bench" "$@"
