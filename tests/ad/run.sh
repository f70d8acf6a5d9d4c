#!/usr/bin/env bash
# run.sh -- the directory suite against the Active Directory fixture: starts
# tests/ad/dc.sh when none runs (stopping it after), takes the reference
# values with OpenLDAP's ldapsearch (tests/ad/reference.py), then runs
# tests/ad/*.test inside the fixture's namespace with each interpreter given:
#
#   run.sh linux TCLSH MODULE TESTMODULE BUILD      a Linux tclsh
#   run.sh wine  TCLSH.EXE MODULE TESTMODULE BUILD  a Windows tclsh under Wine
#
# Each run prints the runner's "hostkit-counts: ..." line. Where the fixture
# cannot run here, prints the reason and "hostkit-counts: passed 0 skipped 1
# failed 0".
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=tests/ad/fixture.sh
. "$HERE/fixture.sh"
ad_fixture "hostkit-counts: passed 0 skipped 1 failed 0" "hostkit-counts: passed 0 skipped 0 failed 1"
export HOSTKIT_AD_REFERENCE=$HOSTKIT_AD_DIR/reference.tcl
if ! "$DC" exec python3 "$HERE/reference.py" "$HOSTKIT_AD_REFERENCE"; then
  echo "reference values could not be read with ldapsearch"
  echo "hostkit-counts: passed 0 skipped 0 failed 1"; exit 1
fi

kind=$1 tclsh=$2
export HOSTKIT_LIB=$3 HOSTKITTEST_LIB=$4 HOSTKIT_BUILD=$5
case $kind in
  linux) "$DC" exec "$tclsh" "$ROOT/tests/all.tcl" -testdir "$ROOT/tests/ad" ;;
  wine)  HOSTKIT_UNDER_WINE=1 WINE_TCLSH=$tclsh \
           "$DC" exec bash "$ROOT/scripts/wine-tclsh.sh" "Z:$ROOT/tests/all.tcl" -testdir "Z:$ROOT/tests/ad" ;;
  *) echo "usage: run.sh linux|wine TCLSH MODULE TESTMODULE BUILD" >&2; exit 2 ;;
esac
