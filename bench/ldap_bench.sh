#!/usr/bin/env bash
# ldap_bench.sh -- the directory search benchmark (never part of the tests).
#
# Loads a slapd with BENCH_ENTRIES (100000) people and searches all of them,
# side by side:
#   (a) Hostkit: ldapsearch, then every entry read with ldapsearchgetnextitem
#   (b) OpenLDAP's ldapsearch tool, paged (-E pr=500/noprompt), LDIF to /dev/null
#   (c) tcllib's pure-Tcl ldap package: searchInit + searchNext over every entry
#   (d) Hostkit over ldaps (secure ldaps, cacertfile: the test CA), search and read
#   (e) OpenLDAP's ldapsearch -H ldaps:// on the same server, paged, LDIF to /dev/null
#       ((d) and (e) run five times each, alternating; the best run of each counts)
# and prints wall times, their ratios and peak memory (maximum resident set
# size), plus (a)'s peak memory at 1,000 entries to show that reading streams.
#
# Usage: bench/ldap_bench.sh [BUILD_DIR]   (default build; needs Hostkit.so there)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
N=${BENCH_ENTRIES:-100000}
export HOSTKIT_LDAP_DIR=${BENCH_LDAP_DIR:-$BUILD/ldap-bench}
export HOSTKIT_LDAP_BULK=$N HOSTKIT_LDAP_PLAIN_BULK=1
export XDG_DATA_HOME=$(mktemp -d)
trap '"$ROOT/tests/ldap/servers.sh" stop >/dev/null 2>&1 || true; rm -rf "$XDG_DATA_HOME"' EXIT

echo "loading $N entries into slapd ..."
"$ROOT/tests/ldap/servers.sh" start >/dev/null
set -a; . "$HOSTKIT_LDAP_DIR/fixture.env"; set +a
# The directory manager has no size limit, so that the unpaged tcllib search sees everything too.
DN="cn=admin,dc=ombri,dc=test"; PW=secret
BASE="ou=bulk,dc=ombri,dc=test"; FILTER="(objectClass=inetOrgPerson)"
ATTRS="cn givenname middleinitial sn telephonenumber mail mobile"
H=$HOSTKIT_LDAP_HOST; P=$HOSTKIT_LDAP_PORT

measure() {  # label command... -> "label wall_s maxrss_kb" on fd 3, command output on stdout
  local label=$1; shift
  local tf; tf=$(mktemp)
  /usr/bin/time -f "%e %M" -o "$tf" "$@"
  echo "$label $(cat "$tf")" >&3
  rm -f "$tf"
}

# Warm the server's caches once.
ldapsearch -x -LLL -H "ldap://$H:$P" -D "$DN" -w "$PW" -b "$BASE" -E pr=500/noprompt "$FILTER" $ATTRS >/dev/null

RES=$(mktemp)
exec 3>"$RES"
A_OUT=$(measure a tclsh8.6 "$ROOT/bench/ldap_bench.tcl" hostkit "$BUILD/Hostkit.so" "$H" "$P" "$DN" "$PW" "$BASE" "$FILTER" 2>/dev/null | tail -1)
measure b ldapsearch -x -LLL -H "ldap://$H:$P" -D "$DN" -w "$PW" -b "$BASE" -E pr=500/noprompt "$FILTER" $ATTRS >/dev/null
C_OUT=$(measure c tclsh8.6 "$ROOT/bench/ldap_bench.tcl" tcllib - "$H" "$P" "$DN" "$PW" "$BASE" "$FILTER" | tail -1)
LP=$HOSTKIT_LDAP_MAIN_LDAPS_PORT
# The TLS pair runs five times, alternating, and each side's best run counts,
# so that a slow moment of the machine does not fall on one side only.
for i in 1 2 3 4 5; do
  D_OUTS[$i]=$(measure "d$i" tclsh8.6 "$ROOT/bench/ldap_bench.tcl" hostkit "$BUILD/Hostkit.so" "$H" "$LP" "$DN" "$PW" "$BASE" "$FILTER" secure ldaps cacertfile "$HOSTKIT_LDAP_CA" 2>/dev/null | tail -1)
  LDAPTLS_CACERT=$HOSTKIT_LDAP_CA measure "e$i" ldapsearch -x -LLL -H "ldaps://$H:$LP" -D "$DN" -w "$PW" -b "$BASE" -E pr=500/noprompt "$FILTER" $ATTRS >/dev/null
done
SMALL_OUT=$(measure small tclsh8.6 "$ROOT/bench/ldap_bench.tcl" hostkit "$BUILD/Hostkit.so" "$H" "$P" "$DN" "$PW" "$BASE" "(uid=u000*)" 2>/dev/null | tail -1)
exec 3>&-

read -r _ A_WALL A_RSS < <(grep '^a ' "$RES")
read -r _ B_WALL B_RSS < <(grep '^b ' "$RES")
read -r _ C_WALL C_RSS < <(grep '^c ' "$RES")
read -r _ S_WALL S_RSS < <(grep '^small ' "$RES")
read -r D_LABEL D_WALL D_RSS < <(grep '^d[0-9] ' "$RES" | sort -k2,2n | head -1)
read -r _ E_WALL E_RSS < <(grep '^e[0-9] ' "$RES" | sort -k2,2n | head -1)
D_OUT=${D_OUTS[${D_LABEL#d}]}
rm -f "$RES"
A_SEARCH=$(echo "$A_OUT" | awk '{print $2}'); A_READ=$(echo "$A_OUT" | awk '{print $4}')
C_SEARCH=$(echo "$C_OUT" | awk '{print $2}'); C_READ=$(echo "$C_OUT" | awk '{print $4}')

echo
echo "entries: (a) $(echo "$A_OUT" | awk '{print $6}')  (c) $(echo "$C_OUT" | awk '{print $6}')  small run: $(echo "$SMALL_OUT" | awk '{print $6}')"
printf '%-44s %10s %12s\n' "" "wall s" "peak RSS kB"
printf '%-44s %10s %12s\n' "(a) Hostkit ldapsearch + getnextitem (tclsh)" "$A_WALL" "$A_RSS"
printf '%-44s %10s %12s\n' "    search phase / reading phase" "$A_SEARCH / $A_READ" ""
printf '%-44s %10s %12s\n' "(b) OpenLDAP ldapsearch -E pr=500 >/dev/null" "$B_WALL" "$B_RSS"
printf '%-44s %10s %12s\n' "(c) tcllib ldap searchInit/searchNext" "$C_WALL" "$C_RSS"
printf '%-44s %10s %12s\n' "    search start / reading phase" "$C_SEARCH / $C_READ" ""
printf '%-44s %10s %12s\n' "(d) Hostkit ldaps search + getnextitem, best" "$D_WALL" "$D_RSS"
printf '%-44s %10s %12s\n' "    search phase / reading phase" "$(echo "$D_OUT" | awk '{print $2}') / $(echo "$D_OUT" | awk '{print $4}')" ""
printf '%-44s %10s %12s\n' "(e) OpenLDAP ldapsearch -H ldaps://, best" "$E_WALL" "$E_RSS"
printf '%-44s %10s %12s\n' "(a) at 1,000 entries" "$S_WALL" "$S_RSS"
echo
echo "entries (d): $(echo "$D_OUT" | awk '{print $6}')"
awk -v as="$A_SEARCH" -v aw="$A_WALL" -v b="$B_WALL" -v c="$C_WALL" -v ar="$A_RSS" -v sr="$S_RSS" \
    -v dw="$D_WALL" -v e="$E_WALL" 'BEGIN {
  printf "ldaps search + reading (d) / (e): %.2f  (target <= 1.3)\n", dw / e
  printf "search phase / (b):        %.2f  (target <= 1.3)\n", as / b
  printf "search + reading / (b):    %.2f  (target <= 2)\n", aw / b
  printf "(c) / (a):                 %.1f  (target >= 5)\n", c / aw
  printf "peak RSS 100k - 1k:        %.1f MB (target <= 10)\n", (ar - sr) / 1024
}'
