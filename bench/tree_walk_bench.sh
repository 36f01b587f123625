#!/bin/sh
# The alarm scan and 10 consoles' device-data rounds over 10,000 devices,
# each beside a plain loop over the same bytes in the same run. Builds its own
# optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/tree_walk_bench.sh [--devices N] [--passes P]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build tree_walk_bench
exec "$bench_build/bench/tree_walk_bench" "$@"
