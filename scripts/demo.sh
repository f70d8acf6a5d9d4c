#!/usr/bin/env bash
# Builds the Linux module and runs the demo script in tclsh.
# Usage: scripts/demo.sh [--no-install]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 >/dev/null
# A small sample directory on loopback for the directory search section.
export HOSTKIT_LDAP_DIR="$(pwd)/build/ldap-demo" HOSTKIT_LDAP_BULK=20 HOSTKIT_LDAP_PLAIN_BULK=5
trap 'tests/ldap/servers.sh stop >/dev/null 2>&1 || true' EXIT
tests/ldap/servers.sh start >/dev/null
set -a; . "$HOSTKIT_LDAP_DIR/fixture.env"; set +a
tclsh8.6 scripts/demo.tcl "$(pwd)/build"
