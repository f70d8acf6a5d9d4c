#!/usr/bin/env bash
# Builds the Linux modules and runs the demo script in tclsh8.6 (Hostkit.so)
# and in Tcl 9's tclsh9.0 (tcl9Hostkit.so; Tcl 9 is built once from
# ../shared/deps by scripts/build-tcl9.sh and cached in build/tcl9).
# Usage: scripts/demo.sh [--no-install]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 >/dev/null
bash scripts/build-tcl9.sh linux >/dev/null
cmake -S . -B build-tcl9 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTCL_ROOT="$(pwd)/build/tcl9" >/dev/null
cmake --build build-tcl9 -j2 >/dev/null
# A small sample directory on loopback for the directory search section.
export HOSTKIT_LDAP_DIR="$(pwd)/build/ldap-demo" HOSTKIT_LDAP_BULK=20 HOSTKIT_LDAP_PLAIN_BULK=5
trap 'tests/ldap/servers.sh stop >/dev/null 2>&1 || true' EXIT
tests/ldap/servers.sh start >/dev/null
set -a; . "$HOSTKIT_LDAP_DIR/fixture.env"; set +a
tclsh8.6 scripts/demo.tcl "$(pwd)/build"
echo
echo "==== the same in Tcl 9"
build/tcl9/bin/tclsh9.0 scripts/demo.tcl "$(pwd)/build-tcl9"
