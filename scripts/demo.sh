#!/usr/bin/env bash
# Builds the Release programs and runs Larkcore on a demo installation folder
# made from data/, monitoring a simulated UPS on a pseudo-terminal linked as
# COM1, with the console Larkview beside it. Ctrl-C stops all.
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
# A three-phase UPS on COM2 (binary RS-485 protocol), eight status types.
build-release/tools/ups3_sim --pty-dir "$demo/ports" --com 2 --ups 1 >/dev/null &
sim3=$!
# A Modbus RTU line on COM3 (pymodbus): a UPS, an inverter, a sensor and a meter.
socat pty,raw,echo=0,link="$demo/ports/COM3" pty,raw,echo=0,link="$demo/ports/COM3.peer" &
line=$!
for _ in $(seq 50); do [ -e "$demo/ports/COM3.peer" ] && break; sleep 0.1; done
/usr/bin/python3 tests/peers/modbus_rtu_slave.py --port "$demo/ports/COM3.peer" \
  --slave 1:ups3 --slave 4:inverter --slave 5:sensor --slave 6:meter </dev/null >/dev/null &
slaves=$!
trap 'kill $sim $sim3 $slaves $line 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && break; sleep 0.1; done
set +e
# The service runs in the background; with a display the console Larkview
# opens on the same folder in the foreground (closing it or Ctrl-C stops
# all), without one demo/larkview.png shows the console and the service stays
# in the foreground.
build-release/service/Larkcore &
core=$!
trap 'kill $core $sim $sim3 2>/dev/null || true' EXIT
trap 'kill $core 2>/dev/null' INT TERM
sleep 1
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # A Wayland session without X uses Qt's Wayland plugin.
  [ -z "${DISPLAY:-}" ] && export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-wayland}
  build-release/console/shell/Larkview
  code=$?
  kill $core 2>/dev/null
  wait $core 2>/dev/null
  exit $code
fi
build-release/tools/larkview_render/larkview_render "$demo" 3 "$demo/larkview.png" "$demo/larkview-map.png" &&
  echo "demo: the console's main window is in $demo/larkview.png (no display for Larkview)"
wait $core
code=$?
exit $code
