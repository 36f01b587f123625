#!/usr/bin/env bash
# Builds the Release programs and runs Larkcore on a demo installation folder
# made from data/, with simulated devices: an ASCII UPS on COM1, a Modbus RTU
# line on COM3 (a UPS, an inverter, a sensor and a meter), a PLC on COM4,
# two GPRS stations and SNMP agents on 127.0.0.2-4; the console Larkview
# beside it. Serious events and warnings go by mail to a local SMTP server
# (aiosmtpd, printing each mail; port $LARK_SMTP_PORT, default 25), serious
# events also by SMS to a simulated GSM modem on COM5 (messages in
# demo/sms.txt); the console's own alarm mail, once set up in its Notify By
# Monitor dialog, goes to the same server and its SMS to a second modem on
# COM6 (demo/sms-console.txt). Ctrl-C stops all and removes the demo's port links.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARK_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
demo=${LARK_DEMO_DIR:-$PWD/demo}
bin=build-release/tools
mkdir -p "$demo/ports"
cp -rn data/. "$demo"/
cp build-release/tools/Larknote "$demo"/
# The console starts the history viewer from its install folder.
cp build-release/viewer/Larkplot "$demo"/
# Serious events and warnings of the demo UPS (node 2) and of Station 1
# (node 8) go by mail to the operators, serious ones also by SMS.
grep -q '^\[SMTP\]' "$demo/manager.ini" || cat >> "$demo/manager.ini" <<'INI'
[SMTP]
Server=127.0.0.1
Sender=larkcore@demo.example
[GSM Modem]
Port=COM5
Baud=9600
[Reaction.Serious]
email.Enable=Yes
SMS.Enable=Yes
[Reaction.Warning]
email.Enable=Yes
[Contactor1]
Name=Operators
e-mail1=ops@demo.example
Phone1=+15550100
[Item1]
Name=Operators
ID.Index1=2
ID.Index2=8
INI
# The console reports the demo UPS's alarms itself once the user names who
# hears them in Send Notification From Monitor (README): its modem is COM6.
export LARK_INSTALL_DIR="$demo" LARK_STATE_DIR="$demo/state" LARK_SERIAL_DIR="$demo/ports"
pids=()
# The port links the simulators and socat make; removed at the end with them.
links=("$demo/ports/COM1" "$demo/ports/COM2" "$demo/ports/COM3" "$demo/ports/COM3.peer"
  "$demo/ports/COM4" "$demo/ports/COM5" "$demo/ports/COM6")
cleanup() {
  kill "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  for l in "${links[@]}"; do [ -L "$l" ] && rm -f "$l"; done
  return 0
}
trap cleanup EXIT
wait_for() { for _ in $(seq 50); do [ -e "$1" ] && return 0; sleep 0.1; done; }

# The simulated UPS at address 01 goes on battery for a minute, then back on
# mains for a minute, and so on; power modules 1 and 2 are present. The
# service takes an alarm field as changed after three answers in a row when
# the unit sends sums (six without), and it asks once per poll cycle of about
# 8 seconds: a change shows about 25 seconds after the unit made it.
$bin/ups_sim --pty-dir "$demo/ports" --com 1 --ups 1 --checksum --alarm-field 1 --alarm-seconds 60 \
  --module 1:1 --module 2:1 >/dev/null &
pids+=($!)
# A three-phase UPS on COM2 (binary RS-485 protocol), eight status types;
# each UPS command it takes (Management -> UPS Control) is a line of its log.
$bin/ups3_sim --pty-dir "$demo/ports" --com 2 --ups 1 --control-log "$demo/ups3-control.log" >/dev/null &
pids+=($!)
# A Modbus RTU line on COM3 (pymodbus): a UPS on line at 40 % load whose
# bypass turns unavailable for 90 seconds, then available for 90 seconds, an
# inverter producing, a sensor and a meter counting.
socat pty,raw,echo=0,link="$demo/ports/COM3" pty,raw,echo=0,link="$demo/ports/COM3.peer" &
pids+=($!)
wait_for "$demo/ports/COM3.peer"
/usr/bin/python3 tests/peers/modbus_rtu_slave.py --port "$demo/ports/COM3.peer" \
  --slave 1:demo-ups:90 --slave 4:demo-inverter --slave 5:demo-sensor --slave 6:demo-meter \
  </dev/null >/dev/null &
pids+=($!)
# A PLC contact module at address 01 on COM4 whose input point 0 flips every 20 answers.
$bin/plc_sim --pty-dir "$demo/ports" --com 4 --plc 1 --toggle 20 >/dev/null &
pids+=($!)
# The mail server prints each mail; the GSM modem on COM5 keeps each SMS.
export LARK_SMTP_PORT=${LARK_SMTP_PORT:-25}
/usr/bin/python3 tests/peers/smtp_server.py --port "$LARK_SMTP_PORT" --out "$demo/mails.jsonl" --print &
pids+=($!)
$bin/gsm_sim --pty-dir "$demo/ports" --com 5 --out "$demo/sms.txt" >/dev/null &
pids+=($!)
$bin/gsm_sim --pty-dir "$demo/ports" --com 6 --out "$demo/sms-console.txt" >/dev/null &
pids+=($!)
wait_for "$demo/ports/COM1"
wait_for "$demo/ports/COM4"
# SNMP agents: a maker UPS whose on-battery alarm word (the second) turns on
# and off every 30 requests, an inverter (unit 3) and a sensor, on
# 127.0.0.2-4 port 16161.
cat >"$demo/snmp_sim.txt" <<'AGENTS'
agent ups 127.0.0.2:16161 maker
alarm ups 1.3.6.1.4.1.7321.2.4.9.2.0 30
agent inverter 127.0.0.3:16161 device
unit inverter 3
agent sensor 127.0.0.4:16161 device
unit sensor 100
AGENTS
$bin/snmp_sim "$demo/snmp_sim.txt" >/dev/null &
pids+=($!)
# Two GPRS stations, Station1 and Station2, call the service's port 9100 once
# it listens. Station1 loses its line four minutes after each call and calls
# again a minute later: a serious event ("Communication lost") that both
# modems text.
$bin/gprs_sim --stations 2 --outage 1:240:60 >/dev/null &
pids+=($!)

set +e
# The service runs in the background; with a display the console Larkview
# opens on the same folder in the foreground (closing it or Ctrl-C stops
# all), without one demo/larkview.png shows the console and the service stays
# in the foreground.
build-release/service/Larkcore &
core=$!
pids+=($core)
trap 'kill $core 2>/dev/null' INT TERM
sleep 1
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # A Wayland session without X uses Qt's Wayland plugin.
  [ -z "${DISPLAY:-}" ] && export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-wayland}
  # The tray status program beside the console; it goes when the demo ends.
  cp build-release/tray/Larktray "$demo"/
  "$demo"/Larktray restart &
  tray=$!
  build-release/console/shell/Larkview
  code=$?
  kill $tray 2>/dev/null
  kill $core 2>/dev/null
  wait $core 2>/dev/null
  exit $code
fi
# Until the console downloads it, the render shows the demo map from its Monitor folder.
mkdir -p "$demo/Monitor" && cp -n data/Demo.UMF "$demo/Monitor/"
# The main window shows UPS 1 on its Diagram tab; two more pictures show the
# PLC's transfer panel and the three-phase UPS's mimic.
$bin/larkview_render/larkview_render --select "UPS 1" --tab 1 "$demo" 5 "$demo/larkview.png" \
  "$demo/larkview-map.png" Demo.UMF &&
  echo "demo: the console's main window is in $demo/larkview.png (no display for Larkview)"
# UPS 1's Module page once its power modules have been polled.
$bin/larkview_render/larkview_render --select "UPS 1" --tab 2 "$demo" 15 "$demo/larkview-module.png" &&
  echo "demo: UPS 1's Module page is in $demo/larkview-module.png"
$bin/larkview_render/larkview_render --select "PLC 1" --tab 1 "$demo" 5 "$demo/larkview-plc.png" \
  "$demo/larkview-map.png" Demo.UMF &&
  echo "demo: PLC 1's transfer panel is in $demo/larkview-plc.png"
$bin/larkview_render/larkview_render --select "Three-phase UPS" --tab 1 "$demo" 5 \
  "$demo/larkview-3phase.png" "$demo/larkview-map.png" Demo.UMF &&
  echo "demo: the three-phase UPS's mimic is in $demo/larkview-3phase.png"
$bin/larkplot_render/larkplot_render "$demo/larkplot.png" "UPS 1" 'Demo\2' "$demo" 12 NONE -1 -1 0 0 0 &&
  echo "demo: the history viewer for UPS 1 is in $demo/larkplot.png"
wait $core
code=$?
exit $code
