#!/bin/sh
# One history period of 1000 devices into the default SQLite database through
# the database thread, against a plain ODBC loop of the same statements, in
# the same run. Builds its own optimised tree (build-bench, or
# $LARK_BENCH_BUILD) when needed.
# usage: bench/database_bench.sh [--devices N] [--periods P]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build database_bench
exec "$bench_build/bench/database_bench" "$@"
