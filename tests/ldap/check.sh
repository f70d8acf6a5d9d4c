#!/usr/bin/env bash
# check.sh -- checks, with OpenLDAP's ldapsearch, that the size-limit and
# sorting servers of tests/ldap/servers.sh and the paging and range bases of
# dropserver.py behave as their headers say. Uses the running servers
# ($HOSTKIT_LDAP_DIR/fixture.env, default build/ldap); starts them for the
# run, and stops them after, when none run.
# Last line: "N passed, N failed".
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
export HOSTKIT_LDAP_DIR=${HOSTKIT_LDAP_DIR:-$ROOT/build/ldap}
PASSED=0; FAILED=0

ok() { PASSED=$((PASSED + 1)); echo "ok - $1"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL - $1${2:+: $2}"; }
expect() {  # name expected actual
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1" "expected '$2', got '$3'"; fi
}

running=$("$HERE/servers.sh" status 2>/dev/null)
if [[ "$running" != *"$HOSTKIT_LDAP_DIR/limit/slapd.pid"* ]]; then
  "$HERE/servers.sh" start >"$HOSTKIT_LDAP_DIR.start.log" 2>&1 \
    || { tail -20 "$HOSTKIT_LDAP_DIR.start.log"; echo "0 passed, 1 failed"; exit 1; }
  trap '"$HERE/servers.sh" stop >/dev/null 2>&1' EXIT
fi
set -a
# shellcheck disable=SC1091
. "$HOSTKIT_LDAP_DIR/fixture.env"
set +a
OUT=$HOSTKIT_LDAP_DIR/check.out
PEOPLE="(objectClass=inetOrgPerson)"

# search PORT [ldapsearch options...]: runs ldapsearch into $OUT (bounded by
# 20 s), full output, no line wrapping.
search() {
  local port=$1; shift
  timeout 20 ldapsearch -x -o ldif-wrap=no -o nettimeout=10 -H "ldap://127.0.0.1:$port" "$@" >"$OUT" 2>&1
}
# "N entries, results R R ..." of the last search
outcome() {
  printf '%s entries, results %s' "$(grep -c '^dn:' "$OUT")" \
    "$(sed -n 's/^result: \([0-9]*\).*/\1/p' "$OUT" | tr '\n' ' ' | sed 's/ $//')"
}
values() { sed -n "s/^$1: //p" "$OUT"; }   # the values of one attribute, in order
order() {  # numbers on standard input -> ascending, descending or unsorted
  local v; v=$(cat)
  if [ "$v" = "$(sort -n <<<"$v")" ]; then echo ascending
  elif [ "$v" = "$(sort -rn <<<"$v")" ]; then echo descending
  else echo unsorted; fi
}

# ---- limit: size limits that stop a search with paging on and off ---------------------
limit() { search "$HOSTKIT_LDAP_LIMIT_PORT" -D "$HOSTKIT_LDAP_LIMIT_BINDDN" -w "$HOSTKIT_LDAP_PASSWORD" \
            -b "$HOSTKIT_LDAP_LIMIT_BASE" "$@" "$PEOPLE" dn; }
P=$HOSTKIT_LDAP_LIMIT_PRTOTAL
for row in "pr=500/noprompt|$P entries, results 0 4" "pr=200/noprompt|$P entries, results 0 0 0 4" \
           "pr=1000/noprompt|$P entries, results 4"; do
  limit -E "${row%%|*}"
  expect "limit: a paged search (${row%%|*}) of $HOSTKIT_LDAP_LIMIT_BULK stops at $P, sizeLimitExceeded" \
    "${row#*|}" "$(outcome)"
done
limit
expect "limit: a search without paging stops at $HOSTKIT_LDAP_LIMIT_SIZELIMIT, sizeLimitExceeded" \
  "$HOSTKIT_LDAP_LIMIT_SIZELIMIT entries, results 4" "$(outcome)"
limit -z 100 -E pr=500/noprompt
expect "limit: the client's own size limit (-z 100) with paging" "100 entries, results 4" "$(outcome)"
search "$HOSTKIT_LDAP_LIMIT_PORT" -D cn=admin,dc=limit,dc=test -w secret -b "$HOSTKIT_LDAP_LIMIT_BASE" \
  -E pr=500/noprompt "$PEOPLE" dn
expect "limit: the rootdn has no limit: every entry" "$HOSTKIT_LDAP_LIMIT_BULK entries, results 0 0 0" "$(outcome)"

# ---- sort: sssvlv, and main without it ---------------------------------------------------
A=$HOSTKIT_LDAP_SORT_ATTRIBUTE
sorted() { search "$HOSTKIT_LDAP_SORT_PORT" -D "$HOSTKIT_LDAP_SORT_BINDDN" -w "$HOSTKIT_LDAP_PASSWORD" \
             -b "$HOSTKIT_LDAP_SORT_BASE" "$@" "$PEOPLE" "$A"; }
sorted -E pr=500/noprompt
expect "sort: unsorted, the entries are not in $A order" \
  "$HOSTKIT_LDAP_SORT_COUNT entries, results 0 0 0 unsorted" "$(outcome) $(values "$A" | order)"
sorted -E "!sss=$A" -E pr=500/noprompt
expect "sort: sorted by $A (critical) over three pages of 500: every entry, ascending from $HOSTKIT_LDAP_SORT_FIRST" \
  "$HOSTKIT_LDAP_SORT_COUNT entries, results 0 0 0 ascending $HOSTKIT_LDAP_SORT_FIRST 3" \
  "$(outcome) $(values "$A" | order) $(values "$A" | head -1) $(grep -c '^sortResult: (0)' "$OUT")"
sorted -E "!sss=-$A" -E pr=500/noprompt
expect "sort: -$A: descending" "$HOSTKIT_LDAP_SORT_COUNT entries, results 0 0 0 descending" \
  "$(outcome) $(values "$A" | order)"
sorted -E "!sss=$A"
expect "sort: sorted without paging: the size limit cuts the sorted list" \
  "$HOSTKIT_LDAP_SORT_SIZELIMIT entries, results 4 ascending $HOSTKIT_LDAP_SORT_FIRST" \
  "$(outcome) $(values "$A" | order) $(values "$A" | head -1)"
for control in '!sss=cn' 'sss=cn'; do
  sorted -E "$control" -E pr=500/noprompt
  expect "sort: by cn ($control), which has no ordering rule: inappropriateMatching, no entry" \
    "0 entries, results 18 serverSort control: No ordering rule" "$(outcome) $(values text)"
done
search "$HOSTKIT_LDAP_PORT" -D "$HOSTKIT_LDAP_BINDDN" -w "$HOSTKIT_LDAP_PASSWORD" -b "ou=bulk,$HOSTKIT_LDAP_BASE" \
  -E '!sss=uid' -E pr=500/noprompt "$PEOPLE" uid
expect "main (no sssvlv): a critical sort control is refused, unavailableCriticalExtension" \
  "0 entries, results 12" "$(outcome)"
search "$HOSTKIT_LDAP_PORT" -D "$HOSTKIT_LDAP_BINDDN" -w "$HOSTKIT_LDAP_PASSWORD" -b "ou=bulk,$HOSTKIT_LDAP_BASE" \
  -E 'sss=uid' -E pr=500/noprompt "$PEOPLE" uid
expect "main: a non-critical sort control is passed over: every entry, no sort result" \
  "$HOSTKIT_LDAP_BULK entries, results 0 0 0" "$(outcome)$(grep -c '^sortResult' "$OUT" | sed 's/^0$//')"

# ---- dropserver.py: paging and ranges no real server hands out ----------------------------
drop() { search "$HOSTKIT_LDAP_DROP_PORT" "$@"; }
cookies() { sed -n 's/^pagedresults: .*cookie=//p' "$OUT" | awk '{ printf "%s%s", sep, ($0 == "" ? "-" : $0); sep = " " }'; }
distinct() { grep '^dn:' "$OUT" | sort -u | wc -l; }
# bounded PATTERN SECONDS [options...]: a search that never ends, stopped after SECONDS
bounded() {
  local base=$1 seconds=$2; shift 2
  timeout "$seconds" ldapsearch -x -o ldif-wrap=no -H "ldap://127.0.0.1:$HOSTKIT_LDAP_DROP_PORT" \
    -b "$base" "$@" >"$OUT" 2>&1
}

drop -b o=onecookie -E pr=500/noprompt
expect "o=onecookie: 1,200 distinct entries in pages of 500, one cookie, the last empty" \
  "1200 entries, results 0 0 0 1200 MQA= MQA= -" "$(outcome) $(distinct) $(cookies)"
drop -b o=onecookie -E pr=300/noprompt
expect "o=onecookie: the client's page size (300)" "1200 entries, results 0 0 0 0 MQA= MQA= MQA= -" \
  "$(outcome) $(cookies)"
drop -b o=onecookie -E pr=800/noprompt
expect "o=onecookie: pages of at most 500" "1200 entries, results 0 0 0 MQA= MQA= -" "$(outcome) $(cookies)"

bounded o=emptypage 1 -E pr=500/noprompt
n=$(grep -c '^pagedresults:' "$OUT")
expect "o=emptypage: pages without entries, one cookie, for ever (more than 100 pages in 1 s)" \
  "0 entries, 1 cookie, many pages" \
  "$(grep -c '^dn:' "$OUT") entries, $(cookies | tr ' ' '\n' | sort -u | wc -l) cookie, $([ "$n" -gt 100 ] && echo many || echo "$n") pages"
bounded o=emptypage3 1 -E pr=500/noprompt
expect "o=emptypage3: a first page of 3, then empty pages" "3 3" "$(grep -c '^dn:' "$OUT") $(distinct)"

bounded o=repeatpage 1 -E pr=500/noprompt
n=$(grep -c '^pagedresults:' "$OUT")
all=$(grep -c '^dn:' "$OUT")   # the page that the time-out cut adds its entries only
expect "o=repeatpage: the same 3 entries on every page, a new cookie each time" \
  "3 distinct entries, 3 a page, $n cookies" \
  "$(distinct) distinct entries, $([ $((all - 3 * n)) -ge 0 ] && [ $((all - 3 * n)) -le 3 ] && echo 3 || echo "$all in $n pages,") a page, $(cookies | tr ' ' '\n' | sort -u | wc -l) cookies"

drop -b o=badcontrol -E pr=500/noprompt
# ldapsearch itself takes the page as the last: the value is read by no one.
expect "o=badcontrol: 3 entries, a paged-results value that is not BER (ldapsearch stops as if complete)" \
  "3 entries, results 0 1.2.840.113556.1.4.319 false MAUCAQAEEA==" "$(outcome) $(values control)"

for kb in 100 1024; do
  bounded "o=bigcookie$kb" 3 -E pr=500/noprompt
  # Pages that the time-out did not cut: the last cookie line may be cut,
  # and the page after it may have brought its entry.
  n=$(( $(grep -c '^pagedresults:' "$OUT") - 1 ))
  sizes=$(sed -n 's/^pagedresults: .*cookie=//p' "$OUT" | head -n "$n" \
            | awk '{ n = length($0); print n / 4 * 3 - ($0 ~ /==$/ ? 2 : ($0 ~ /=$/ ? 1 : 0)) }' | sort -u)
  d=$(distinct)
  expect "o=bigcookie$kb: one new entry per page, a new cookie of $kb KB each time" \
    "$n pages, as many distinct entries, $n cookies of $((kb * 1024)) bytes" \
    "$n pages, $([ "$d" -ge "$n" ] && [ "$d" -le $((n + 2)) ] && echo "as many" || echo "$d") distinct entries, $(cookies | tr ' ' '\n' | head -n "$n" | sort -u | wc -l) cookies of $sizes bytes"
done

drop -LLL -b o=rangefrom
expect "o=rangefrom: the first answer is member;range=1000-1001" \
  "member;range=1000-1001=2" "$(grep -o '^member;range=[^:]*' "$OUT" | uniq -c | awk '{print $2 "=" $1}')"
low=0; names=; : >"$OUT.members"
for _ in 1 2 3; do
  drop -LLL -s base -b cn=one,o=rangefrom "(objectClass=*)" "member;range=$low-*"
  name=$(grep -o '^member;range=[^:]*' "$OUT" | head -1)
  names="$names ${name#member;range=}"
  sed -n 's/^member;range=[^:]*: //p' "$OUT" >>"$OUT.members"
  [[ "$name" == *-\* ]] && break
  low=$(( ${name##*-} + 1 ))
done
expect "o=rangefrom: fetched from 0, ranges of 1,500: every value once" \
  " 0-1499 1500-* 2000 2000" "$names $(wc -l <"$OUT.members") $(sort -u "$OUT.members" | wc -l)"
drop -LLL -s base -b cn=one,o=rangefrom "(objectClass=*)" "member;range=10-19"
expect "o=rangefrom: a range inside the list" "member;range=10-19 10" \
  "$(grep -o '^member;range=[^:]*' "$OUT" | head -1) $(grep -c '^member;' "$OUT")"

bounded o=slow0.5 2.2
n=$(grep -c '^dn:' "$OUT")
expect "o=slow0.5: one new entry every half second (3 to 4 in 2.2 s, each new)" "yes $n" \
  "$([ "$n" -ge 3 ] && [ "$n" -le 4 ] && echo yes || echo no) $(distinct)"
bounded o=slow1 3.5 -E pr=2/noprompt
n=$(grep -c '^dn:' "$OUT")
expect "o=slow1 with pages of 2: a page ends after 2 entries with a new cookie, the next goes on" \
  "c2xvdzI= more than 2, each new" "$(cookies) $([ "$n" -gt 2 ] && echo "more than 2" || echo "$n"), $([ "$(distinct)" = "$n" ] && echo each new)"

# No responder thread stays once its clients have gone (the main thread and
# the silent port's are the two that always run).
pid=$(cat "$HOSTKIT_LDAP_DIR/drop/server.pid")
for _ in $(seq 1 30); do
  [ "$(find "/proc/$pid/task" -mindepth 1 -maxdepth 1 | wc -l)" -le 2 ] && break
  sleep 0.1
done
expect "dropserver.py: no thread left once the clients have gone" "2" "$(find "/proc/$pid/task" -mindepth 1 -maxdepth 1 | wc -l)"

rm -f "$OUT" "$OUT.members"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
