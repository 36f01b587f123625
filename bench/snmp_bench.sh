#!/usr/bin/env bash
# Larkcore polling many simulated SNMP agents, in a network namespace of its
# own, against net-snmp's snmpget in the same run:
#   - every agent asked once per "SNMP Polling" interval: the longest pause
#     between two requests to one agent, and the fewest requests one got;
#   - CPU time per device poll of the service against one snmpget asking the
#     same 15 objects;
#   - the service's peak RSS against that many snmpget processes' peaks.
# Builds its own optimised tree (build-bench, or $LARK_BENCH_BUILD) when needed.
# usage: bench/snmp_bench.sh [--devices N] [--seconds S] [--polling MS]
set -euo pipefail
devices=1000 seconds=30 polling=1000
while [ $# -gt 0 ]; do
  case $1 in
    --devices) devices=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --polling) polling=$2; shift 2 ;;
    *) echo "usage: $0 [--devices N] [--seconds S] [--polling MS]" >&2; exit 2 ;;
  esac
done
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
if [ "${LARK_BENCH_NETNS:-}" != 1 ]; then
  . "$(dirname "$0")/build.sh"
  lark_bench_build Larkcore snmp_sim
  export LARK_BENCH_BUILD=$bench_build LARK_BENCH_NETNS=1
  exec unshare --user --map-root-user --net bash "$script" --devices "$devices" --seconds "$seconds" \
    --polling "$polling"
fi
ip link set lo up
here=$(cd "$(dirname "$script")/.." && pwd)
build=$LARK_BENCH_BUILD
work=$(mktemp -d)
trap 'kill $sim $svc 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
sim= svc=

# Agent i and node i + 1 at 127.0.(1 + i / 250).(1 + i % 250):16161, four
# groups of at most 250 devices under the root.
address() { echo "127.0.$((1 + $1 / 250)).$((1 + $1 % 250))"; }
groups=$(((devices + 249) / 250))
{
  printf '[Main]\r\nNumber=%d\r\n' $((1 + groups + devices))
  for ((k = 0; k <= groups + devices; k++)); do printf 'Index%d.ID=%d\r\n' "$k" "$k"; done
  node() {  # id parent title ip kind mib
    printf '[ID%d]\r\nPreviousID=%d\r\nTitle=%s\r\nIP=%s\r\nCOM=\r\nUPSID=1\r\nBaud=0\r\nCommType=0\r\n' "$1" "$2" "$3" "$4"
    printf 'Port=%s\r\nCommunity=public\r\nComm.Stop=No\r\nSaveInDatabase=No\r\nupsGroupSNMP=%d\r\n' \
      "$([ "$5" = 2 ] && echo 16161 || echo 0)" "$5"
    printf 'iconRect.left=0\r\niconRect.top=0\r\niconRect.right=32\r\niconRect.bottom=32\r\n'
    printf 'groupRect.left=0\r\ngroupRect.top=0\r\ngroupRect.right=602\r\ngroupRect.bottom=422\r\n'
    printf 'Sync.DateTime=0\r\nBitmap=\r\nLocation=\r\nMIB.Type=%d\r\n' "$6"
  }
  node 0 0 Main "" 1 0
  for ((g = 1; g <= groups; g++)); do node "$g" 0 "Group $g" "" 1 0; done
  for ((i = 0; i < devices; i++)); do node $((groups + 1 + i)) $((1 + i / 250)) "UPS $i" "$(address $i)" 2 5; done
} >"$work/Bench.UMF"
cp -r "$here/data/English" "$work/"
printf '[Main]\r\nLoad File=Bench.UMF\r\n[Polling]\r\nSNMP Polling=%d\r\nSNMP Timeout=60\r\n' "$polling" \
  >"$work/manager.ini"
for ((i = 0; i < devices; i++)); do echo "agent a$i $(address $i):16161 maker"; done >"$work/sim.txt"

"$build/tools/snmp_sim" "$work/sim.txt" >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q ready "$work/sim.out" && break; sleep 0.1; done
LARK_INSTALL_DIR=$work LARK_STATE_DIR=$work/state "$build/service/Larkcore" 2>"$work/service.log" &
svc=$!
for _ in $(seq 300); do grep -q "running on" "$work/service.log" && break; sleep 0.1; done

cpu() { awk '{print $14 + $15}' "/proc/$svc/stat"; }
counts() {  # asks the simulator for its counts; prints "name count gap" lines
  local before
  before=$(grep -c '^requests ' "$work/sim.out" || true)
  kill -USR1 "$sim"
  for _ in $(seq 100); do
    [ "$(grep -c '^requests ' "$work/sim.out" || true)" -ge $((before + devices)) ] && break
    sleep 0.05
  done
  grep '^requests ' "$work/sim.out" | tail -n "$devices" | awk '{print $2, $4, $6}'
}
sleep 5  # every entry taken up, the pace settled
counts >"$work/c0"
cpu0=$(cpu)
sleep "$seconds"
counts >"$work/c1"
cpu1=$(cpu)
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$svc/status")
tck=$(getconf CLK_TCK)

# snmpget for the same 15 objects as the service's first request.
oids=""
for o in 1.2 3.1 4.1 5.3 6.2 7.6 8.2 9.1 10.1 10.2 10.3 10.4 1.2 3.1 4.1; do
  oids="$oids 1.3.6.1.4.1.7321.2.4.$o.0"
done
peer=$(MIBS= /usr/bin/python3 - "$(address 0)" $oids <<'PY'
import resource, subprocess, sys, time
agent, oids = sys.argv[1], sys.argv[2:]
runs = 100
for _ in range(runs):
    subprocess.run(["/usr/bin/snmpget", "-v1", "-c", "public", "-On", agent + ":16161", *oids],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print((u.ru_utime + u.ru_stime) / runs, u.ru_maxrss)
PY
)

join -j1 <(sort "$work/c0") <(sort "$work/c1") | awk -v cpu0="$cpu0" -v cpu1="$cpu1" -v tck="$tck" \
  -v hwm="$hwm" -v peer="$peer" -v devices="$devices" -v seconds="$seconds" -v polling="$polling" '
  { polls = $4 - $2; total += polls; if (min == "" || polls < min) min = polls
    if ($5 > gap) gap = $5 }
  END {
    split(peer, p, " ")
    cpuPoll = (cpu1 - cpu0) / tck / (total ? total : 1)
    printf "devices %d, polling %d ms, %d s measured\n", devices, polling, seconds
    printf "polls %d (expected %d), fewest for one agent %d (expected %d)\n", total,
           devices * seconds * 1000 / polling, min, seconds * 1000 / polling
    printf "longest pause between two polls of one agent: %d ms\n", gap
    printf "CPU per device poll: Larkcore %.1f us, snmpget (15 objects) %.1f us, ratio %.4f\n",
           cpuPoll * 1e6, p[1] * 1e6, cpuPoll / p[1]
    printf "peak RSS: Larkcore %d kB, %d x snmpget %d kB, ratio %.4f\n", hwm, devices,
           devices * p[2], hwm / (devices * p[2])
  }'
