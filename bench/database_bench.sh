#!/bin/sh
# One history period of 1000 devices into the default SQLite database through
# the database thread, against plain ODBC loops of the same statements, in
# the same run: once on disk (/tmp), once on a tmpfs (/dev/shm). Builds its
# own optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/database_bench.sh [--devices N] [--periods P]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build database_bench
"$bench_build/bench/database_bench" --dir /tmp "$@"
echo
"$bench_build/bench/database_bench" --dir /dev/shm "$@"
