#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when one is missing. Run as root on Debian 12.
set -euo pipefail
pkgs=(build-essential cmake ninja-build ccache clang libclang-rt-14-dev googletest libgtest-dev
      libgmock-dev libbenchmark-dev)
pkgs+=(snmpd snmp)  # a real SNMP agent and client, peers of the SNMP tests
pkgs+=(qt6-base-dev fonts-liberation qt6-wayland)  # the console, viewer and tray
# The tray's sounds (aplay), its notification-area tests (Xvfb, trayer) and the unit check (systemd-analyze).
pkgs+=(alsa-utils xvfb trayer systemd)
# The Modbus RTU and ASCII peers (pymodbus on a socat pty pair) and the
# benchmark's plain master.
pkgs+=(python3-pymodbus python3-serial-asyncio python3-serial socat libmodbus-dev)
pkgs+=(python3-aiosmtpd python3-gammu)  # the SMTP server and SMS decoder peers
# The console's FTP client for the network cards' batch configuration (tnftp
# is Debian 12's /usr/bin/ftp) and a real FTP server standing in for a card.
pkgs+=(tnftp python3-pyftpdlib)
pkgs+=(libwmf-bin fonts-urw-base35)  # WMF map pictures (wmf2gd needs its fonts)
pkgs+=(unixodbc-dev libsqliteodbc odbc-postgresql postgresql-15 sqlite3)  # the database layer and its test peers
pkgs+=(iproute2)  # a broadcast route on loopback for the console's server search tests
pkgs+=(stress-ng)  # the load of scripts/test.sh --stress
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
