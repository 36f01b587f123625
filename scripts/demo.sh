#!/usr/bin/env bash
# Builds the Release programs and runs Larkcore in the foreground on a demo
# installation folder made from data/, monitoring a simulated UPS on a
# pseudo-terminal linked as COM1, a simulated PLC on COM3 and two simulated
# GPRS stations. Ctrl-C stops them all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARK_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
demo=${LARK_DEMO_DIR:-$PWD/demo}
mkdir -p "$demo/ports"
cp -rn data/. "$demo"/
cp build-release/tools/Larknote "$demo"/
export LARK_INSTALL_DIR="$demo" LARK_STATE_DIR="$demo/state" LARK_SERIAL_DIR="$demo/ports"
# The simulated UPS at address 01 raises an alarm for 30 answers, then clears it.
build-release/tools/ups_sim --pty-dir "$demo/ports" --com 1 --ups 1 --alarm-cycle 30 >/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
# A PLC contact module at address 01 on COM3 whose input point 0 flips every 20 answers.
build-release/tools/plc_sim --pty-dir "$demo/ports" --com 3 --plc 1 --toggle 20 >/dev/null &
plc=$!
trap 'kill $sim $plc 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && [ -e "$demo/ports/COM3" ] && break; sleep 0.1; done
# Two GPRS stations, Station1 and Station2, call the service's port 9100 once it listens.
build-release/tools/gprs_sim --stations 2 >/dev/null &
gprs=$!
trap 'kill $sim $plc $gprs 2>/dev/null || true' EXIT
set +e
build-release/service/Larkcore
code=$?
exit $code
