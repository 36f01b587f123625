#!/bin/sh
# Map load time for 1k, 4k, 16k and 32k nodes beside reading the same file's
# lines, and a hostile map of the same size (every index naming the root)
# beside each. Builds its own optimised tree (build-bench, or $LARK_BENCH_BUILD).
# usage: bench/map_load_bench.sh [--nodes N]...
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build map_load_bench
exec "$bench_build/bench/map_load_bench" "$@"
