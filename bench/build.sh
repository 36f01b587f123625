#!/bin/sh
# Sourced by the bench scripts: lark_bench_build TARGET... configures the
# optimised, unsanitised tree build-bench when it is missing and builds the
# named targets in it. Sets $bench_build to its folder.
lark_bench_build() {
  here=$(cd "$(dirname "$0")/.." && pwd)
  bench_build=${LARK_BENCH_BUILD:-$here/build-bench}
  if [ ! -f "$bench_build/build.ninja" ]; then
    cmake -S "$here" -B "$bench_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$bench_build" -j "$(nproc)" --target "$@" >/dev/null
}
