#!/usr/bin/env bash
# Builds the Release programs and runs Larkcore in the foreground on a demo
# installation folder made from data/, monitoring a simulated UPS on a
# pseudo-terminal linked as COM1. Its alarms go by mail to a local SMTP server
# (aiosmtpd, printing each mail; port $LARK_SMTP_PORT, default 25) and by SMS
# to a simulated GSM modem on COM2 (messages in demo/sms.txt). Ctrl-C stops all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARK_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
demo=${LARK_DEMO_DIR:-$PWD/demo}
mkdir -p "$demo/ports"
cp -rn data/. "$demo"/
cp build-release/tools/Larknote "$demo"/
# Warnings of the demo UPS go by mail and SMS to the operators.
grep -q '^\[SMTP\]' "$demo/manager.ini" || cat >> "$demo/manager.ini" <<'INI'
[SMTP]
Server=127.0.0.1
Sender=larkcore@demo.example
[GSM Modem]
Port=COM2
Baud=9600
[Reaction.Warning]
email.Enable=Yes
SMS.Enable=Yes
[Contactor1]
Name=Operators
e-mail1=ops@demo.example
Phone1=+15550100
[Item1]
Name=Operators
ID.Index1=2
INI
export LARK_INSTALL_DIR="$demo" LARK_STATE_DIR="$demo/state" LARK_SERIAL_DIR="$demo/ports"
# The simulated UPS at address 01 raises an alarm for 30 answers, then clears it.
build-release/tools/ups_sim --pty-dir "$demo/ports" --com 1 --ups 1 --alarm-cycle 30 >/dev/null &
sim=$!
export LARK_SMTP_PORT=${LARK_SMTP_PORT:-25}
/usr/bin/python3 tests/peers/smtp_server.py --port "$LARK_SMTP_PORT" --out "$demo/mails.jsonl" --print &
smtp=$!
build-release/tools/gsm_sim --pty-dir "$demo/ports" --com 2 --out "$demo/sms.txt" >/dev/null &
gsm=$!
trap 'kill $sim $smtp $gsm 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && break; sleep 0.1; done
set +e
build-release/service/Larkcore
code=$?
exit $code
