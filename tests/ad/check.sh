#!/usr/bin/env bash
# check.sh -- checks of the Active Directory fixture (tests/ad/dc.sh) with
# OpenLDAP's command-line clients, run inside its namespace, over ldaps with
# Samba's CA, and with MIT Kerberos's kinit for the GSSAPI binds (in a
# credential cache of this script's own). Uses a running fixture
# ($HOSTKIT_AD_DIR/fixture.env); starts one for the run, and stops it after,
# when none runs.
# Last line: "N passed, N failed" (", 1 skipped" and exit 0 where the
# fixture cannot run on this machine).
set -uo pipefail
exec </dev/null
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/ad/fixture.sh
. "$HERE/fixture.sh"
PASSED=0; FAILED=0
ad_fixture "0 passed, 0 failed, 1 skipped" "0 passed, 1 failed"

ok() { PASSED=$((PASSED + 1)); echo "ok - $1"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL - $1${2:+: $2}"; }
expect() {  # name expected actual
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1" "expected '$2', got '$3'"; fi
}

inside() { "$DC" exec "$@"; }
# ldapsearch over ldaps as the reader (or as $BIND_DN), one line per value;
# LDIF_LEVEL=full keeps the result lines (paged results' cookies).
search() {
  local level=-LLL
  [ "${LDIF_LEVEL:-}" = full ] && level=
  inside env LDAPTLS_CACERT="$HOSTKIT_AD_CA" LDAPTLS_REQCERT=demand \
    ldapsearch -x ${level:+"$level"} -o ldif-wrap=no -o nettimeout=10 -H "ldaps://$HOSTKIT_AD_NAME" \
    -D "${BIND_DN:-$HOSTKIT_AD_BINDDN}" -w "${BIND_PW:-$HOSTKIT_AD_PASSWORD}" "$@"
}
count() { grep -c "^$1" || true; }   # lines starting with $1 on standard input
b64() { printf '%s' "$1" | base64 -d 2>/dev/null; }
value() {  # attr: the first value of attr on standard input, base64 decoded
  awk -v a="$1" 'index(tolower($0), tolower(a) ":") == 1 {print; exit}' \
    | { IFS= read -r line || true
        case "$line" in
          *::\ *) b64 "${line#*:: }" ;;
          *:\ *) printf '%s' "${line#*: }" ;;
        esac; }
}

# ---- the namespace --------------------------------------------------------------
links=$(inside ip -o link show | awk -F': ' '{print $2}' | tr '\n' ' ')
expect "namespace: only lo" "lo " "$links"

spid=$(tr -dc 0-9 <"$HOSTKIT_AD_DIR/samba/run/samba.pid" 2>/dev/null)
if [ -n "$spid" ] && [ "$(readlink "/proc/$spid/ns/net")" = "$(readlink "/proc/$HOSTKIT_AD_NS_PID/ns/net")" ] \
   && [ "$(readlink "/proc/$spid/ns/net")" != "$(readlink /proc/self/ns/net)" ]; then
  ok "samba runs inside the namespace, not in this one"
else
  fail "samba runs inside the namespace, not in this one" "samba pid '$spid'"
fi

# ---- TLS and binds --------------------------------------------------------------
dse=$(inside env LDAPTLS_CACERT="$HOSTKIT_AD_CA" LDAPTLS_REQCERT=demand \
  ldapsearch -x -LLL -o ldif-wrap=no -H "ldaps://$HOSTKIT_AD_NAME" -b "" -s base "(objectClass=*)" \
  defaultNamingContext dnsHostName 2>&1)
expect "root DSE over ldaps, certificate checked against HOSTKIT_AD_CA" \
  "$HOSTKIT_AD_BASE" "$(value defaultNamingContext <<<"$dse")"

# Samba's certificate names only the DC: connecting by address fails the check.
out=$(inside env LDAPTLS_CACERT="$HOSTKIT_AD_CA" LDAPTLS_REQCERT=demand \
  ldapsearch -x -LLL -o nettimeout=5 -H "ldaps://$HOSTKIT_AD_HOST" -b "" -s base 2>&1)
rc=$?
if [ "$rc" = 255 ]; then ok "ldaps by address fails the host name check"
else fail "ldaps by address fails the host name check" "exit $rc: $out"; fi

out=$(inside ldapsearch -x -LLL -H "ldap://$HOSTKIT_AD_HOST:$HOSTKIT_AD_PORT" \
  -D "$HOSTKIT_AD_BINDDN" -w "$HOSTKIT_AD_PASSWORD" -b "$HOSTKIT_AD_BASE" -s base dn 2>&1)
rc=$?
if [ "$rc" = 8 ] && [[ "$out" == *"Strong(er) authentication required"* ]]; then
  ok "simple bind over clear ldap:// is refused: strong authentication required (8)"
else
  fail "simple bind over clear ldap:// is refused: strong authentication required (8)" "exit $rc: $out"
fi

out=$(search -b "$HOSTKIT_AD_BINDDN" -s base sAMAccountName 2>&1)
expect "reader binds over ldaps" "hkreader" "$(value sAMAccountName <<<"$out")"

out=$(BIND_DN=$HOSTKIT_AD_UNICODE_USER_DN BIND_PW=$HOSTKIT_AD_UNICODE_USER_PASSWORD \
  search -b "$HOSTKIT_AD_UNICODE_USER_DN" -s base sAMAccountName 2>&1)
expect "a user binds with a DN outside ASCII" "p0000" "$(value sAMAccountName <<<"$out")"

out=$(BIND_PW=Wrong-Password-1 search -b "$HOSTKIT_AD_BINDDN" -s base sAMAccountName 2>&1)
if [[ "$out" == *"Invalid credentials (49)"* ]]; then ok "a wrong password is refused (49)"
else fail "a wrong password is refused (49)" "$out"; fi

# ---- users, groups, values ------------------------------------------------------
people=$(search -E pr=500/noprompt -b "$HOSTKIT_AD_PEOPLE_BASE" "(objectClass=user)" \
  memberOf objectGUID objectSid 2>&1)
expect "user count in OU=People" "$HOSTKIT_AD_USERS" "$(count 'dn:' <<<"$people")"

range=$(awk 'BEGIN{min=99; max=0}
  /^dn:/ { if (seen) { if (n < min) min = n; if (n > max) max = n }; n = 0; seen = 1 }
  /^memberOf:/ { n++ }
  END { if (seen) { if (n < min) min = n; if (n > max) max = n }; print min "-" max }' <<<"$people")
expect "every user has 3 or 4 memberOf values" "3-4" "$range"

out=$(search -b "$HOSTKIT_AD_UNICODE_USER_DN" -s base memberOf 2>&1)
expect "memberOf of $HOSTKIT_AD_UNICODE_USER_CN" "$HOSTKIT_AD_UNICODE_USER_MEMBEROF" "$(count memberOf: <<<"$out")"
out=$(search -b "$HOSTKIT_AD_ODD_USER_DN" -s base memberOf 2>&1)
expect "memberOf of an odd user" "$HOSTKIT_AD_ODD_USER_MEMBEROF" "$(count memberOf: <<<"$out")"

out=$(search -b "$HOSTKIT_AD_PEOPLE_BASE" "(cn=$HOSTKIT_AD_UNICODE_USER_CN)" dn 2>&1)
expect "a UTF-8 filter finds the non-ASCII user, whose DN comes back base64" \
  "$HOSTKIT_AD_UNICODE_USER_DN" "$(value dn <<<"$out")"

out=$(search -E pr=500/noprompt -b "$HOSTKIT_AD_BULK_BASE" "(objectClass=user)" dn 2>&1)
expect "paged search of OU=Bulk returns $HOSTKIT_AD_BULK_USERS entries" \
  "$HOSTKIT_AD_BULK_USERS" "$(count 'dn:' <<<"$out")"

# Every user of the domain, counted in sam.ldb by dc.sh: paging must bring
# them all. Samba names the search in its cookie, not the position: every
# page but the last carries the same one.
pages() {  # ldapsearch's full output -> "PAGES pages, COOKIES distinct cookies, last COOKIE"
  awk '/^pagedresults:/ { n++; c = $0; sub(/.*cookie=/, "", c); last = c; if (c != "") seen[c] = 1 }
       END { k = 0; for (x in seen) k++; print n " pages, " k " distinct cookies, last \"" last "\"" }'
}
out=$(LDIF_LEVEL=full search -E pr=500/noprompt -b "$HOSTKIT_AD_BASE" "(objectClass=user)" dn 2>&1)
expect "paged search of every user returns $HOSTKIT_AD_ALL_USERS entries" \
  "$HOSTKIT_AD_ALL_USERS" "$(count 'dn:' <<<"$out")"
npages=$(( (HOSTKIT_AD_ALL_USERS + 499) / 500 ))
expect "Samba pages every user in $npages pages of 500, one cookie for all but the last" \
  "$npages pages, 1 distinct cookies, last \"\"" "$(pages <<<"$out")"

out=$(search -b "$HOSTKIT_AD_BASE" "(objectClass=user)" dn 2>&1)
expect "a search of every user without paging: Samba returns all of them (no cut at 1,000)" \
  "$HOSTKIT_AD_ALL_USERS" "$(count 'dn:' <<<"$out")"

# Server-side sorting (1.2.840.113556.1.4.473): Samba sorts a paged search
# across its pages, sends no sort result control, and takes a sort by an
# attribute it does not know, critical or not, as no sort at all.
order() {  # values on standard input -> ascending, descending or unsorted
  local v; v=$(cat)
  if [ "$v" = "$(LC_ALL=C sort <<<"$v")" ]; then echo ascending
  elif [ "$v" = "$(LC_ALL=C sort -r <<<"$v")" ]; then echo descending
  else echo unsorted; fi
}
for row in "sAMAccountName|ascending" "-sAMAccountName|descending" "noSuchAttribute|unsorted"; do
  out=$(LDIF_LEVEL=full search -E "!sss=${row%%|*}" -E pr=500/noprompt -b "$HOSTKIT_AD_BULK_BASE" \
    "(objectClass=user)" sAMAccountName 2>&1)
  expect "Samba sorts a paged search by ${row%%|*} (critical): every entry, ${row#*|}, no sort result" \
    "$HOSTKIT_AD_BULK_USERS ${row#*|} 0" \
    "$(count 'dn:' <<<"$out") $(sed -n 's/^sAMAccountName: //p' <<<"$out" | order) $(count sortResult <<<"$out")"
done

out=$(search -b "$HOSTKIT_AD_PEOPLE_BASE" "(description=OmbriPrivateUser)" dn 2>&1)
expect "users marked OmbriPrivateUser" "$HOSTKIT_AD_PRIVATE_USERS" "$(count 'dn:' <<<"$out")"

# ---- the big group and ranged values ----------------------------------------------
big=$HOSTKIT_AD_BIG_GROUP_DN
# Samba hands the whole list out when not asked for a range (Windows would
# cut it at 1,500): a client must not depend on either.
out=$(search -b "$big" -s base member 2>&1)
expect "big group, plain member request: Samba returns every value" \
  "$HOSTKIT_AD_BIG_GROUP_MEMBERS" "$(count 'member:' <<<"$out")"

out=$(search -b "$big" -s base "(objectClass=*)" "member;range=0-$((HOSTKIT_AD_RANGE - 1))" 2>&1)
names=$(grep -o '^member;range=[^:]*' <<<"$out" | sort | uniq -c | awk '{print $2 "=" $1}')
expect "big group, member;range=0-1499 comes back under that name" \
  "member;range=0-$((HOSTKIT_AD_RANGE - 1))=$HOSTKIT_AD_RANGE" "$names"

# Walk the ranges as a client does: ask from the next index until the server
# answers with an end of "*".
start=0; total=0; last=; steps=0; : >"$HOSTKIT_AD_DIR/members.txt"
while [ "$steps" -lt 20 ]; do
  steps=$((steps + 1))
  out=$(search -b "$big" -s base "(objectClass=*)" "member;range=$start-$((start + HOSTKIT_AD_RANGE - 1))" 2>&1)
  attr=$(grep -o '^member;range=[^:]*' <<<"$out" | head -1)
  [ -n "$attr" ] || { last="no member;range in answer"; break; }
  grep '^member;range=' <<<"$out" | sed 's/^[^:]*: //' >>"$HOSTKIT_AD_DIR/members.txt"
  last=${attr#member;range=}
  [[ "$last" == *-\* ]] && break
  start=$(( ${last#*-} + 1 ))
done
total=$(sort -u "$HOSTKIT_AD_DIR/members.txt" | wc -l)
expect "big group, ranged walk: every member once, last range ends with *" \
  "$HOSTKIT_AD_BIG_GROUP_MEMBERS distinct, ${HOSTKIT_AD_RANGE}-*" "$total distinct, $last"

# ---- GUIDs, SIDs, photos ---------------------------------------------------------
guids=$(grep '^objectGUID::' <<<"$people" | sed 's/^objectGUID:: //' | sort -u | wc -l)
glen=$(value objectGUID <<<"$people" | wc -c)
expect "every user has its own 16-byte objectGUID" "$HOSTKIT_AD_USERS x 16" "$guids x $glen"

sid_text() {  # binary SID on standard input -> S-1-...
  od -An -v -tu1 | tr -s ' \n' ' ' | awk '{
    rev = $1; n = $2; auth = 0; for (i = 3; i <= 8; i++) auth = auth * 256 + $i
    s = "S-" rev "-" auth
    # (%.0f: awk would write a sub-authority past 2^31 as 3.36624e+09)
    for (k = 0; k < n; k++) { j = 9 + 4 * k; s = s "-" sprintf("%.0f", $j + 256 * $(j+1) + 65536 * $(j+2) + 16777216 * $(j+3)) }
    print s }'
}
dom=$(search -b "$HOSTKIT_AD_BASE" -s base objectSid 2>&1 | value objectSid | sid_text)
usid=$(value objectSid <<<"$people" | sid_text)
sids=$(grep -c '^objectSid::' <<<"$people")
if [[ "$dom" == S-1-5-21-*-*-* ]] && [[ "$usid" == "$dom"-* ]] && [ "$sids" = "$HOSTKIT_AD_USERS" ]; then
  ok "every user has an objectSid in the domain's ($dom)"
else
  fail "every user has an objectSid in the domain's" "domain '$dom', user '$usid', $sids SIDs"
fi

out=$(search -b "$HOSTKIT_AD_PEOPLE_BASE" "(thumbnailPhoto=*)" dn 2>&1)
expect "users with a thumbnailPhoto" "$HOSTKIT_AD_PHOTO_USERS" "$(count 'dn:' <<<"$out")"
out=$(search -b "$HOSTKIT_AD_PHOTO_USER_DN" -s base thumbnailPhoto 2>&1)
sum=$(value thumbnailPhoto <<<"$out" | sha256sum | cut -c1-64)
nuls=$(value thumbnailPhoto <<<"$out" | tr -cd '\0' | wc -c)
if [ "$sum" = "$HOSTKIT_AD_PHOTO_SHA256" ] && [ "$nuls" -gt 0 ]; then
  ok "thumbnailPhoto comes back byte for byte, NUL bytes included ($nuls)"
else
  fail "thumbnailPhoto comes back byte for byte, NUL bytes included" "sha256 $sum, $nuls NULs"
fi

# ---- continuation references -------------------------------------------------------
out=$(search -b "$HOSTKIT_AD_BASE" "(objectClass=domain)" dn 2>&1)
refs=$(sed -n 's/^# ref//p; s/^ref: //p' <<<"$out" | sed 's|^ldaps*://[^/]*/||; s|?.*||' | sort | tr '\n' ';')
expect "domain root search: references to Configuration and the DNS partitions" \
  "CN=Configuration,$HOSTKIT_AD_BASE;DC=DomainDnsZones,$HOSTKIT_AD_BASE;DC=ForestDnsZones,$HOSTKIT_AD_BASE;" "$refs"

# ---- Kerberos: the KDC, the DC's names, GSSAPI binds ---------------------------------
# Every client here uses the fixture's krb5.conf and a credential cache of
# this script's own, so that a suite's tickets are left alone.
export KRB5_CONFIG=$HOSTKIT_AD_KRB5_CONFIG KRB5CCNAME=FILE:$HOSTKIT_AD_DIR/check.krb5cc
dns() { inside python3 "$HERE/dnsrecords.py" query 127.0.0.1 "$@" 2>&1 | tr '\n' ' '; }
expect "Samba's DNS: an A record for the DC" "A 127.0.0.1 " "$(dns "$HOSTKIT_AD_NAME" A)"
expect "Samba's DNS: the domain's DC record names the DC" \
  "SRV 0 100 $HOSTKIT_AD_PORT $HOSTKIT_AD_NAME " "$(dns "_ldap._tcp.dc._msdcs.${HOSTKIT_AD_REALM,,}" SRV)"

out=$(search -b "OU=Domain Controllers,$HOSTKIT_AD_BASE" "(objectClass=computer)" servicePrincipalName 2>&1)
if grep -qix "servicePrincipalName: $HOSTKIT_AD_LDAP_SPN" <<<"$out"; then
  ok "the DC's account holds the service principal name $HOSTKIT_AD_LDAP_SPN"
else
  fail "the DC's account holds the service principal name $HOSTKIT_AD_LDAP_SPN" "$(grep -i '^servicePrincipalName' <<<"$out" | tr '\n' ' ')"
fi

inside kdestroy -q 2>/dev/null
out=$(inside sh -c 'printf "%s\n" "$1" | kinit "$2"' _ "$HOSTKIT_AD_PASSWORD" "$HOSTKIT_AD_KRB5_PRINCIPAL" 2>&1)
rc=$?
principal=$(inside klist 2>/dev/null | sed -n 's/^Default principal: //p')
expect "kinit with the reader's password (KDC $HOSTKIT_AD_KDC)" "0 $HOSTKIT_AD_KRB5_PRINCIPAL" "$rc $principal"

# gssapi [ldapsearch options...]: a GSSAPI bind reading the unicode user's
# sAMAccountName; prints "rc=N ssf=N sAMAccountName" and the error lines.
gssapi() {
  inside env LDAPTLS_CACERT="$HOSTKIT_AD_CA" LDAPTLS_REQCERT=demand \
    ldapsearch -Y GSSAPI -LLL -o nettimeout=10 "$@" -b "$HOSTKIT_AD_UNICODE_USER_DN" -s base \
    sAMAccountName >"$HOSTKIT_AD_DIR/gssapi.out" 2>&1
  local rc=$?
  printf 'rc=%s ssf=%s %s %s' "$rc" \
    "$(sed -n 's/^SASL SSF: //p' "$HOSTKIT_AD_DIR/gssapi.out")" \
    "$(value sAMAccountName <"$HOSTKIT_AD_DIR/gssapi.out")" \
    "$(grep -E '^ldap_|additional info' "$HOSTKIT_AD_DIR/gssapi.out" | tr -s '\t\n' '  ')"
}
out=$(gssapi -N -H "ldap://$HOSTKIT_AD_NAME")
if [[ "$out" =~ ^rc=0\ ssf=([0-9]+)\ p0000\ $ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ]; then
  ok "GSSAPI over clear ldap:// with sign and seal reads a user"
else
  fail "GSSAPI over clear ldap:// with sign and seal reads a user" "$out"
fi
expect "GSSAPI over ldaps without a security layer (maxssf=0) reads a user" \
  "rc=0 ssf=0 p0000 " "$(gssapi -N -O maxssf=0 -H "ldaps://$HOSTKIT_AD_NAME")"
expect "GSSAPI over StartTLS without a security layer reads a user" \
  "rc=0 ssf=0 p0000 " "$(gssapi -N -ZZ -O maxssf=0 -H "ldap://$HOSTKIT_AD_NAME")"
expect "GSSAPI over ldaps with the TLS channel binding (tls-endpoint) reads a user" \
  "rc=0 ssf=0 p0000 " "$(LDAPSASL_CBINDING=tls-endpoint gssapi -N -O maxssf=0 -H "ldaps://$HOSTKIT_AD_NAME")"

# What Samba refuses, and what a client must not do.
out=$(gssapi -N -H "ldaps://$HOSTKIT_AD_NAME")
if [[ "$out" == "rc=53 "*"Sign or Seal are not allowed if TLS is used"* ]]; then
  ok "GSSAPI over ldaps with a security layer is refused (53)"
else
  fail "GSSAPI over ldaps with a security layer is refused (53)" "$out"
fi
out=$(gssapi -N -O maxssf=0 -H "ldap://$HOSTKIT_AD_NAME")
if [[ "$out" == "rc=8 "*"Strong(er) authentication required"* ]]; then
  ok "GSSAPI over clear ldap:// without a security layer is refused (8)"
else
  fail "GSSAPI over clear ldap:// without a security layer is refused (8)" "$out"
fi
out=$(gssapi -H "ldap://$HOSTKIT_AD_NAME")
if [[ "$out" == "rc=254 "*"Server not found in Kerberos database"* ]]; then
  ok "GSSAPI without -N (libldap canonicalises a loopback server to this host's name): no such principal"
else
  fail "GSSAPI without -N (libldap canonicalises a loopback server to this host's name): no such principal" "$out"
fi
out=$(gssapi -N -H "ldap://$HOSTKIT_AD_HOST")
if [[ "$out" == "rc=254 "*"Server not found in Kerberos database"* ]]; then
  ok "GSSAPI to the server given by address: no such principal"
else
  fail "GSSAPI to the server given by address: no such principal" "$out"
fi

inside kdestroy
out=$(gssapi -N -H "ldap://$HOSTKIT_AD_NAME")
if [[ "$out" == "rc=254 "*"No Kerberos credentials available"* ]]; then
  ok "GSSAPI without a ticket (kdestroy) fails: no Kerberos credentials available"
else
  fail "GSSAPI without a ticket (kdestroy) fails: no Kerberos credentials available" "$out"
fi

out=$(inside kinit -k -t "$HOSTKIT_AD_KRB5_KEYTAB" "$HOSTKIT_AD_KRB5_PRINCIPAL" 2>&1)
expect "kinit -k with the reader's keytab, then GSSAPI over ldaps reads a user" \
  "$out rc=0 ssf=0 p0000 " "$out $(gssapi -N -O maxssf=0 -H "ldaps://$HOSTKIT_AD_NAME")"
inside kdestroy -q
rm -f "$HOSTKIT_AD_DIR/gssapi.out"

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
