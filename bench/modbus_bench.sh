#!/bin/sh
# Modbus RTU poll cycles of every device type through line_pacer at 9600 and
# 19200 baud against pymodbus, at "Serial Polling" 300 and 10 ms, beside a
# plain libmodbus master doing the same reads in the same run.
# Builds its own optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/modbus_bench.sh [--cycles N]
set -eu
. "$(dirname "$0")/build.sh"
lark_bench_build modbus_bench line_pacer
here=$(cd "$(dirname "$0")/.." && pwd)
cycles=3
[ "${1:-}" = "--cycles" ] && cycles=$2
work=$(mktemp -d)
pids=""
trap 'kill $pids 2>/dev/null || true; rm -rf "$work"' EXIT
for baud in 9600 19200; do
  "$bench_build/tools/line_pacer" --a "$work/COM1" --b "$work/peer" --baud "$baud" >/dev/null &
  pacer=$!
  pids="$pids $pacer"
  for _ in $(seq 50); do [ -e "$work/peer" ] && break; sleep 0.1; done
  /usr/bin/python3 "$here/tests/peers/modbus_rtu_slave.py" --port "$work/peer" --baud "$baud" \
    --slave 1:ups3 --slave 2:trv5200 --slave 3:9315 --slave 4:inverter --slave 5:sensor \
    --slave 6:meter </dev/null >/dev/null 2>&1 &
  peer=$!
  pids="$pids $peer"
  sleep 2
  for polling in 300 10; do
    address=1
    for type in ups trv5200 9315 inverter sensor meter; do
      "$bench_build/bench/modbus_bench" --port "$work/COM1" --baud "$baud" --type "$type" \
        --address "$address" --polling "$polling" --cycles "$cycles" || echo "$type: no result"
      address=$((address + 1))
    done
  done
  kill "$peer" "$pacer" 2>/dev/null || true
  wait "$peer" "$pacer" 2>/dev/null || true
done
