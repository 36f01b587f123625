#!/usr/bin/env bash
# Builds the Release service and runs Larkcore in the foreground on a demo
# installation folder made from data/. Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARK_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
demo=${LARK_DEMO_DIR:-$PWD/demo}
mkdir -p "$demo"
cp -rn data/. "$demo"/
export LARK_INSTALL_DIR="$demo" LARK_STATE_DIR="$demo/state"
exec build-release/service/Larkcore
