#!/usr/bin/env bash
# Builds the Linux module and shows every command with the system's Tcl 8.6
# (scripts/demo.tcl), against a small sample directory on loopback; then the
# same with Tcl 9 (tcl9Hostkit.so and tclsh9.0) when Tcl 9 is built already
# (build/tcl9, by scripts/build-tcl9.sh or scripts/test.sh), or when asked:
# --tcl9 builds Tcl 9.0.3 first if need be, which takes minutes.
# Usage: scripts/demo.sh [--no-install] [--tcl9]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

install=1; tcl9=auto
for a in "$@"; do
  case "$a" in
    --no-install) install=0 ;;
    --tcl9) tcl9=yes ;;
    *) echo "usage: $0 [--no-install] [--tcl9]" >&2; exit 2 ;;
  esac
done
if [ "$install" = 1 ] && [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi
if [ "$tcl9" = auto ]; then
  if [ -f build/tcl9/.hostkit-tcl9-complete ]; then tcl9=yes; else tcl9=no; fi
fi

# What the demo shows: the module, the helper program execprocess runs and
# the version-resource samples; the rest of the build waits for the tests.
DEMO_TARGETS=(--target Hostkit hkchild hostkit_file_fixtures)
echo "== building the Linux module (build/)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 "${DEMO_TARGETS[@]}" >/dev/null

# A small sample directory on loopback for the directory search section.
export HOSTKIT_LDAP_DIR=$ROOT/build/ldap-demo HOSTKIT_LDAP_BULK=20 HOSTKIT_LDAP_PLAIN_BULK=5
trap 'tests/ldap/servers.sh stop >/dev/null 2>&1 || true' EXIT
tests/ldap/servers.sh start >/dev/null
set -a; . "$HOSTKIT_LDAP_DIR/fixture.env"; set +a

echo "==== Tcl $(echo 'puts [info patchlevel]' | tclsh8.6), Hostkit.so"
tclsh8.6 scripts/demo.tcl "$ROOT/build"

echo
if [ "$tcl9" = yes ]; then
  echo "== building Tcl 9 (once) and the Tcl 9 module (build-tcl9/)"
  bash scripts/build-tcl9.sh linux >/dev/null
  cmake -S . -B build-tcl9 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTCL_ROOT="$ROOT/build/tcl9" >/dev/null
  cmake --build build-tcl9 -j2 "${DEMO_TARGETS[@]}" >/dev/null
  echo "==== the same in Tcl 9: tclsh9.0, tcl9Hostkit.so"
  build/tcl9/bin/tclsh9.0 scripts/demo.tcl "$ROOT/build-tcl9"
  echo
  echo "Shown with Tcl 8.6 (Hostkit.so) and Tcl 9.0 (tcl9Hostkit.so)."
else
  echo "Shown with Tcl 8.6 (Hostkit.so). The Tcl 9 half was left out: Tcl 9 is not built yet."
  echo "bash scripts/demo.sh --tcl9 builds Tcl 9.0.3 once (a few minutes) and shows the same with it."
fi
