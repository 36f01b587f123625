#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when one is missing. Run as root on Debian 12.
set -euo pipefail
pkgs=(build-essential cmake ninja-build ccache clang libclang-rt-14-dev googletest libgtest-dev
      libgmock-dev libbenchmark-dev
      unixodbc-dev libsqliteodbc odbc-postgresql postgresql-15 sqlite3)
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
