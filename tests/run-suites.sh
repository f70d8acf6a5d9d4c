#!/usr/bin/env bash
# Runs the Tcl suites against one Linux build folder, with the slapd fixtures
# started for the run and stopped after it: what CTest's "tcl-suites" runs.
#   tests/run-suites.sh BUILD_DIR [TCLSH] [tcltest options ...]
# Fails, running nothing, when the fixtures do not start: a run without them
# would skip every directory test and still pass.
set -uo pipefail
exec </dev/null
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build folder}" && pwd); shift
tclsh=${1:-tclsh8.6}; [ $# -gt 0 ] && shift

export HOSTKIT_LDAP_DIR=$build/ldap-ctest
trap '"$here/ldap/servers.sh" stop >/dev/null 2>&1' EXIT
if ! "$here/ldap/servers.sh" start >"$build/ldap-ctest.log" 2>&1; then
  tail -20 "$build/ldap-ctest.log" >&2
  echo "run-suites: the slapd fixtures did not start (log: $build/ldap-ctest.log); no suite was run" >&2
  exit 1
fi
set -a; . "$HOSTKIT_LDAP_DIR/fixture.env"; set +a
# The module's file (Hostkit.so, or tcl9Hostkit.so for Tcl 9) is chosen by
# tests/support/common.tcl from the interpreter's version.
HOSTKIT_BUILD=$build HOSTKITTEST_LIB=$build/HostkitTest.so \
  "$tclsh" "$here/all.tcl" "$@"
