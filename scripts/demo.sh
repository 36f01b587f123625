#!/usr/bin/env bash
# Builds the Release programs and runs Larkcore in the foreground on a demo
# installation folder made from data/, monitoring a simulated UPS on a
# pseudo-terminal linked as COM1 and simulated SNMP agents. Ctrl-C stops all.
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
# Network devices: a maker UPS whose first alarm word turns on and off every
# 30 answers, an inverter (unit 3) and a sensor, on 127.0.0.2-4 port 16161.
cat >"$demo/snmp_sim.txt" <<'AGENTS'
agent ups 127.0.0.2:16161 maker
alarm ups 1.3.6.1.4.1.7321.2.4.9.1.0 30
agent inverter 127.0.0.3:16161 device
unit inverter 3
agent sensor 127.0.0.4:16161 device
unit sensor 100
AGENTS
build-release/tools/snmp_sim "$demo/snmp_sim.txt" >/dev/null &
snmpsim=$!
trap 'kill $sim $snmpsim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && break; sleep 0.1; done
set +e
build-release/service/Larkcore
code=$?
exit $code
