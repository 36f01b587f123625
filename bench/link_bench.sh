#!/bin/sh
# Console link round trips against a plain TCP echo server in the same run.
# usage: bench/link_bench.sh [build folder] [--seconds S] [--consoles N]
# Build an optimised, unsanitised tree for real figures:
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-bench --target link_bench
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-bench}
[ $# -gt 0 ] && shift
bin=$build/bench/link_bench
if [ ! -x "$bin" ]; then
  echo "no $bin: build the link_bench target first" >&2
  exit 1
fi
exec "$bin" "$@"
