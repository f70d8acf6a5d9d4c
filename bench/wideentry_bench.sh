#!/usr/bin/env bash
# wideentry_bench.sh -- one entry with many attributes (never part of the tests).
#
# A scripted server on loopback (bench/wideserver.py) answers every search
# with one entry of N attributes. For N in BENCH_WIDTHS (5000 10000 40000):
#   (a) Hostkit: a tclsh that loads the package, runs ldapsearch, reads the
#       entry with ldapsearchgetnextitem and makes a dict of it; (a') the
#       two commands alone, timed inside
#   (b) OpenLDAP's ldapsearch tool, LDIF to /dev/null
# and prints the best wall time of BENCH_RUNS (5) runs of each and their ratio. Each entry's attributes are walked
# once, so time grows in step with N; the goal is (a) within 3x of (b) at
# 40,000 attributes.
#
# Usage: bench/wideentry_bench.sh [BUILD_DIR]   (default build; needs Hostkit.so there)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
export XDG_DATA_HOME=$(mktemp -d)
SERVER_PID=
trap '[ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null; rm -rf "$XDG_DATA_HOME"' EXIT

seconds() {  # command... -> the best wall seconds of BENCH_RUNS (5) runs
  local start end t best=
  for _ in $(seq "${BENCH_RUNS:-5}"); do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

SCRIPT=$(mktemp --suffix=.tcl)
cat >"$SCRIPT" <<'TCL'
lassign $argv lib port want
load $lib Hostkit
set start [clock microseconds]
set n [ldapsearch server 127.0.0.1 port $port searchBase o=bench desiredAttributes " "]
set e [ldapsearchgetnextitem]
puts "elapsed [expr {([clock microseconds] - $start) / 1e6}]"
if {$n != 1 || [dict size $e] != $want} { puts stderr "wrong: $n [dict size $e]"; exit 1 }
TCL

printf '%-10s %10s %12s %10s %8s %8s\n' attributes hostkit_s commands_s openldap_s ratio ratio_cmd
for N in ${BENCH_WIDTHS:-5000 10000 40000}; do
  exec {OUT}< <(python3 "$ROOT/bench/wideserver.py" "$N")
  SERVER_PID=$!
  read -r PORT <&$OUT
  tclsh8.6 "$SCRIPT" "$BUILD/Hostkit.so" "$PORT" "$N" >/dev/null 2>&1 || { echo "hostkit run failed at $N" >&2; exit 1; }
  A=$(seconds tclsh8.6 "$SCRIPT" "$BUILD/Hostkit.so" "$PORT" "$N")
  C=$(for _ in $(seq "${BENCH_RUNS:-5}"); do tclsh8.6 "$SCRIPT" "$BUILD/Hostkit.so" "$PORT" "$N" 2>/dev/null | sed -n "s/^elapsed //p"; done | sort -g | head -1)
  B=$(seconds ldapsearch -x -LLL -H "ldap://127.0.0.1:$PORT" -b o=bench)
  printf '%-10s %10.3f %12.3f %10.3f %8.2f %8.2f\n' "$N" "$A" "$C" "$B" "$(echo "$A / $B" | bc -l)" \
    "$(echo "$C / $B" | bc -l)"
  kill "$SERVER_PID"; SERVER_PID=
  exec {OUT}<&-
done
rm -f "$SCRIPT"
