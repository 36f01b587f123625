#!/bin/sh
# A console's configuration download at 1000 and 10,000 devices beside the
# same pieces fetched in a plain loop, in the same run. Builds its own
# optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/console_start_bench.sh [--devices N]...
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build console_start_bench
exec "$bench_build/bench/console_start_bench" "$@"
