#!/usr/bin/env bash
# dc.sh -- a throw-away Active Directory domain controller (Debian's Samba)
# for the directory tests, inside a private network namespace.
#
# Usage: dc.sh start|stop|status|exec CMD [ARG...]
#
#   start   provisions the domain HOSTKIT.TEST (DC=hostkit,DC=test) with its
#           test entries (makedata.py), or copies it from the cache, starts
#           samba in a new network and mount namespace and waits until it
#           answers over ldaps. Writes $HOSTKIT_AD_DIR/fixture.env, and with
#           the default folder also build/ad-fixture.env.
#           Exits 77 with one line "dc.sh: skip: REASON" on standard error
#           where this machine cannot run it (no network namespaces, Samba
#           not installed), so that tests skip with that reason.
#   stop    ends samba, everything else still inside the namespace, and the
#           namespace; safe to repeat and after a failed start.
#   status  says whether it runs; exit 0 if it does, 3 if not.
#   exec    runs CMD inside the namespace, in the current folder, with the
#           current environment; exits with CMD's status.
#
# The namespace. A holder process ("hostkit-ad-ns", pid in fixture.env as
# HOSTKIT_AD_NS_PID) keeps a network namespace with only lo up and a mount
# namespace whose /etc/hosts and /etc/resolv.conf are private files of this
# fixture: dc1.hostkit.test and hostkit.test are 127.0.0.1 there, and the
# resolver asks Samba's own DNS on 127.0.0.1, which forwards nowhere.
# Nothing inside can reach any address but loopback. Samba listens on
# 127.0.0.1 ports 389 (ldap) and 636 (ldaps) inside it; from outside the
# namespace there is nothing to connect to. A client runs inside with
#
#     tests/ad/dc.sh exec CMD ARGS...                  # HOSTKIT_AD_DIR set alike
#   or
#     $HOSTKIT_AD_NSENTER --wd="$PWD" CMD ARGS...
#   i.e.
#     nsenter --net=/proc/$HOSTKIT_AD_NS_PID/ns/net \
#             --mount=/proc/$HOSTKIT_AD_NS_PID/ns/mnt --wd="$PWD" CMD ARGS...
#
# (entering the mount namespace moves to / unless --wd is given). Plain
# ldap:// on 127.0.0.1 works with --net alone; TLS needs the name
# dc1.hostkit.test ($HOSTKIT_AD_NAME), the only name on the certificate that
# Samba makes for itself, and so the private /etc/hosts, i.e. --mount too:
#
#   . build/ad-fixture.env
#   tests/ad/dc.sh exec env LDAPTLS_CACERT="$HOSTKIT_AD_CA" \
#     ldapsearch -x -H "ldaps://$HOSTKIT_AD_NAME" -D "$HOSTKIT_AD_BINDDN" \
#       -w "$HOSTKIT_AD_PASSWORD" -b "$HOSTKIT_AD_BASE" "(sAMAccountName=p0001)"
#
# From Tcl, a test runs a child interpreter inside:
#   exec {*}$env(HOSTKIT_AD_NSENTER) --wd=[pwd] [info nameofexecutable] child.tcl
# (processes in the namespace cannot reach the slapd fixtures, which listen
# on the machine's own loopback).
#
# Samba keeps its defaults where clients see them, but for SASL over TLS:
# simple binds only over TLS (result 8, "Strong(er) authentication required",
# over clear ldap://); SASL binds over clear ldap:// only with sign or seal,
# and over TLS only without ("ldap server require strong auth =
# allow_sasl_over_tls", as a Windows DC takes them; Samba's default refuses
# every SASL bind over TLS); a self-signed certificate made at the first
# start (private/tls/, its CA as HOSTKIT_AD_CA, naming DC1.hostkit.test
# only). Where Samba is not Windows: it cuts a multi-valued attribute into
# ranges only when the client asks (member;range=0-1499 comes back under that
# name, with 1,500 values), and a plain request for member gets every value,
# where Windows would send member;range=0-1499; it has no "Who am I?"
# operation (ldapwhoami); a paged search hands out the same cookie on every
# page but the last (base64 MQA=, it names the search, not the position),
# and a search without paging is not cut at 1,000 entries; it sorts
# (server-side sort control, critical or not) across the pages of a paged
# search, sends no sort result control, and takes a sort by an attribute it
# does not know as no sort (result 0, unsorted). Search references
# at the domain root point at ldap[s]://hostkit.test/, a name that resolves
# inside the namespace but is not on the certificate.
# Only the services that LDAP and Kerberos need run (ldap, cldap, dns, drepl,
# kdc; two workers each): no smbd, winbindd, NetBIOS, RPC, DNS updates or KCC.
#
# Kerberos. Samba's KDC answers on 127.0.0.1 port 88 inside the namespace
# (realm HOSTKIT.TEST). Provisioning adds, once, what a loopback DC lacks:
# the DC's service principal names (samba_spnupdate: ldap/dc1.hostkit.test,
# HOST/..., as the dnsupdate service would), A records for dc1.hostkit.test
# and hostkit.test in Samba's DNS (dnsrecords.py; provisioning leaves them
# out for 127.0.0.1; the SRV records _ldap._tcp.dc._msdcs.hostkit.test and
# the like point at dc1.hostkit.test), and a keytab of the reader's keys
# (samba-tool domain exportkeytab). Clients use the fixture's own krb5.conf
# ($HOSTKIT_AD_DIR/krb5.conf: the KDC by address, no DNS look-ups, no
# canonicalisation of host names, forward or reverse) through KRB5_CONFIG,
# and a credential cache of the fixture's own, KRB5CCNAME; fixture.env sets
# both (nothing reads or writes /etc/krb5.conf or /tmp/krb5cc_*):
#
#   tests/ad/dc.sh exec sh -c 'echo "$HOSTKIT_AD_PASSWORD" | kinit "$HOSTKIT_AD_KRB5_PRINCIPAL"'
#   tests/ad/dc.sh exec ldapsearch -Y GSSAPI -N -H ldap://dc1.hostkit.test \
#       -b "$HOSTKIT_AD_BASE" "(sAMAccountName=p0001)"
#   tests/ad/dc.sh exec env LDAPTLS_CACERT="$HOSTKIT_AD_CA" ldapsearch -Y GSSAPI -N \
#       -O maxssf=0 -H ldaps://dc1.hostkit.test -b "$HOSTKIT_AD_BASE" "(sAMAccountName=p0001)"
#   tests/ad/dc.sh exec kinit -k -t "$HOSTKIT_AD_KRB5_KEYTAB" "$HOSTKIT_AD_KRB5_PRINCIPAL"
#
# The namespace has no host name of its own: it is the machine's, which
# names nothing there, so a client must not let libldap canonicalise the
# server's name (SASL_NOCANON, ldapsearch -N): for a server on loopback
# libldap would take the local host's name and ask for a ticket for
# ldap/<that name>, which the KDC does not know. The service principal
# names the DC by dc1.hostkit.test ($HOSTKIT_AD_NAME) only: a server given
# by address has none.
#
# State folder: $HOSTKIT_AD_DIR (default build/ad next to the sources).
# Cache: $HOSTKIT_AD_CACHE (default build/ad-cache): the provisioned domain
# with its entries, certificate, keytab and counts, keyed on makedata.py,
# dnsrecords.py, this script, the counts and Samba's version; a start that
# finds it skips provisioning. Caches older than 30 days are dropped.
# HOSTKIT_AD_USERS (300) sets the number of users in OU=People;
# HOSTKIT_AD_BIG (2100) the number of users in OU=Bulk, who are also the
# members of the big group "Everyone Bulk": more than 2,000, so that a paged
# search of them (or of every user of the domain) takes five pages of 500,
# and more than 1,500, so that their member list takes two ranges.
# fixture.env counts every user of the domain (built-in accounts included)
# as HOSTKIT_AD_ALL_USERS, read from sam.ldb itself, not over LDAP.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
DEFAULT_DIR=$ROOT/build/ad
DIR=${HOSTKIT_AD_DIR:-$DEFAULT_DIR}
CACHE=${HOSTKIT_AD_CACHE:-$ROOT/build/ad-cache}
USERS=${HOSTKIT_AD_USERS:-300}
BIG=${HOSTKIT_AD_BIG:-2100}

REALM=HOSTKIT.TEST
DOMAIN=HOSTKIT
DNSDOMAIN=hostkit.test
HOSTNAME_=dc1
FQDN=$HOSTNAME_.$DNSDOMAIN
BASE=DC=hostkit,DC=test
ADMIN_PASSWORD='Hk-Admin-2024!'
READER_DN="CN=Hostkit Reader,CN=Users,$BASE"
READER_PASSWORD='Hk-Reader-2024!'
READER_PRINCIPAL=hkreader@$REALM     # sAMAccountName hkreader (makedata.py)
USER_PASSWORD='Hk-User-2024!'
HOLDER_NAME=hostkit-ad-ns

S=$DIR/samba            # Samba's folder: etc/smb.conf, private/, state/ ...
CONF=$S/etc/smb.conf
CA=$S/private/tls/ca.pem

skip() { echo "dc.sh: skip: $*" >&2; exit 77; }
die() { echo "dc.sh: $*" >&2; exit 1; }

# ---- the namespace ---------------------------------------------------------

holder_pid() {  # the live holder's pid, or nothing
  local pid
  [ -f "$DIR/ns.pid" ] || return 0
  pid=$(cat "$DIR/ns.pid")
  [[ "$pid" =~ ^[0-9]+$ ]] || return 0
  # A pid that was reused by another program is not ours.
  if [ "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | cut -d' ' -f1)" = "$HOLDER_NAME" ]; then
    echo "$pid"
  fi
}

in_ns() {  # pid CMD...: runs CMD in the namespace of holder pid
  local pid=$1; shift
  nsenter --net="/proc/$pid/ns/net" --mount="/proc/$pid/ns/mnt" --wd="$PWD" -- "$@"
}

make_ns() {
  command -v unshare >/dev/null && command -v nsenter >/dev/null \
    || skip "unshare or nsenter (util-linux) is missing"
  unshare --net --mount true 2>/dev/null \
    || skip "cannot make network and mount namespaces here (unshare --net --mount fails)"
  rm -f "$DIR/ns.pid"
  # The holder writes its own pid (the same after unshare and both execs) and
  # leaves this script's output alone, so that $(dc.sh start) returns.
  setsid unshare --net --mount --propagation slave \
    bash -c 'echo $$ >"$1.tmp" && mv "$1.tmp" "$1" && exec -a '"$HOLDER_NAME"' sleep infinity' \
    _ "$DIR/ns.pid" </dev/null >/dev/null 2>&1 &
  local i pid=
  for i in $(seq 1 50); do
    pid=$(holder_pid); [ -n "$pid" ] && break
    sleep 0.1
  done
  [ -n "$pid" ] || skip "the namespace holder did not start"
  readlink "/proc/$pid/ns/net" >"$DIR/ns.id"
  printf '127.0.0.1\tlocalhost\n127.0.0.1\t%s %s %s\n::1\tlocalhost ip6-localhost\n' \
    "$FQDN" "$HOSTNAME_" "$DNSDOMAIN" >"$DIR/hosts"
  printf 'nameserver 127.0.0.1\nsearch %s\n' "$DNSDOMAIN" >"$DIR/resolv.conf"
  in_ns "$pid" sh -c 'ip link set lo up && mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/resolv.conf' \
    _ "$DIR/hosts" "$DIR/resolv.conf" 2>"$DIR/ns.err" \
    || { stop_all; skip "cannot set up the namespace: $(head -1 "$DIR/ns.err")"; }
  echo "$pid"
}

# Every process in our network namespace: samba, its workers, a client a test
# left behind, the holder. Only pids whose namespace is the recorded one.
ns_pids() {
  local id p
  [ -f "$DIR/ns.id" ] || return 0
  id=$(cat "$DIR/ns.id")
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [ "$p" = $$ ] && continue
    [ "$(readlink "/proc/$p/ns/net" 2>/dev/null)" = "$id" ] && echo "$p"
  done
  return 0
}

samba_pid() {  # the live samba master's pid, or nothing
  local f=$S/run/samba.pid pid
  [ -f "$f" ] || return 0
  pid=$(tr -dc 0-9 <"$f")
  [ -n "$pid" ] || return 0
  [ -f "$DIR/ns.id" ] || return 0
  [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" = "$(cat "$DIR/ns.id")" ] && echo "$pid"
  return 0
}

alive() {  # pid: running, not a zombie (this sandbox's init reaps orphans late)
  local st
  st=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$st" ] && [ "$st" != Z ] && [ "$st" != X ]
}

wait_gone() {  # seconds pid...
  local n=$(( $1 * 10 )) p any; shift
  while [ "$n" -gt 0 ]; do
    any=
    for p in "$@"; do alive "$p" && any=1; done
    [ -z "$any" ] && return 0
    sleep 0.1; n=$((n - 1))
  done
  return 1
}

stop_all() {
  local pid pids holder
  holder=$(holder_pid)
  pid=$(samba_pid)
  # Without a live holder or samba the recorded namespace id may since have
  # been given to someone else's namespace: leave it alone then.
  if [ -z "$holder" ] && [ -z "$pid" ]; then
    rm -f "$DIR/ns.pid" "$DIR/ns.id"
    return 0
  fi
  # Samba and its workers all at once: the master alone takes seconds to
  # take its workers down. The holder goes last, so that the namespace can
  # still be found meanwhile.
  pids=$(ns_pids | grep -vx "${holder:-none}" || true)
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null || true
    # shellcheck disable=SC2086
    wait_gone 10 $pids || true
  fi
  pids=$(ns_pids)
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086
    kill -KILL $pids 2>/dev/null || true
    # shellcheck disable=SC2086
    wait_gone 5 $pids || true
  fi
  rm -f "$DIR/ns.pid" "$DIR/ns.id" "$S/run/samba.pid"
}

# ---- the domain ------------------------------------------------------------

write_conf() {  # Samba's configuration, all paths under $S
  mkdir -p "$S/etc" "$S/run" "$S/log" "$S/cache" "$S/state"
  cat >"$CONF" <<CONF
# Written by tests/ad/dc.sh: a test domain controller in a private namespace.
[global]
	netbios name = ${HOSTNAME_^^}
	realm = $REALM
	workgroup = $DOMAIN
	server role = active directory domain controller
	idmap_ldb:use rfc2307 = yes
	interfaces = lo
	bind interfaces only = yes
	server services = ldap cldap dns drepl kdc
	ldap server require strong auth = allow_sasl_over_tls
	prefork children = 2
	dns forwarder =
	private dir = $S/private
	binddns dir = $S/bind-dns
	lock directory = $S
	state directory = $S/state
	cache directory = $S/cache
	pid directory = $S/run
	ncalrpc dir = $S/run/ncalrpc
	winbindd socket directory = $S/run/winbindd
	ntp signd socket directory = $S/run/ntp_signd
	log file = $S/log/samba.log
	max log size = 10000

[sysvol]
	path = $S/state/sysvol
	read only = No

[netlogon]
	path = $S/state/sysvol/$DNSDOMAIN/scripts
	read only = No
CONF
}

provision() {  # holder pid
  mkdir -p "$S/etc"
  : >"$DIR/empty.conf"   # not /etc/samba/smb.conf, whatever it holds
  in_ns "$1" samba-tool domain provision -s "$DIR/empty.conf" \
    --use-rfc2307 --server-role=dc --dns-backend=SAMBA_INTERNAL \
    --realm="$REALM" --domain="$DOMAIN" --adminpass="$ADMIN_PASSWORD" \
    --host-name="$HOSTNAME_" --host-ip=127.0.0.1 --targetdir="$S" \
    --option="dns forwarder = 127.0.0.1" --option="interfaces = lo" \
    --option="bind interfaces only = yes" \
    >"$DIR/provision.log" 2>&1 \
    || { tail -20 "$DIR/provision.log" >&2; die "provisioning failed (log: $DIR/provision.log)"; }
  write_conf
  python3 "$HERE/makedata.py" ldif "$BASE" "$USERS" "$BIG" "$READER_PASSWORD" "$USER_PASSWORD" \
    >"$DIR/data.ldif"
  ldbadd --configfile="$CONF" -l "$S/log" -H "$S/private/sam.ldb" "$DIR/data.ldif" >"$DIR/ldbadd.log" 2>&1 \
    || { tail -20 "$DIR/ldbadd.log" >&2; die "loading the entries failed (log: $DIR/ldbadd.log)"; }
  # Kerberos: the DC's ldap/ (and HOST/) names, its A records, the reader's keys.
  in_ns "$1" samba_spnupdate -s "$CONF" >"$DIR/spnupdate.log" 2>&1 \
    || { tail -20 "$DIR/spnupdate.log" >&2; die "samba_spnupdate failed (log: $DIR/spnupdate.log)"; }
  /usr/bin/python3 "$HERE/dnsrecords.py" add "$CONF" 127.0.0.1 "$DNSDOMAIN" "$HOSTNAME_" @ >"$DIR/dns.log" 2>&1 \
    || { tail -20 "$DIR/dns.log" >&2; die "adding the DC's A records failed (log: $DIR/dns.log)"; }
  rm -f "$DIR/reader.keytab"
  samba-tool domain exportkeytab "$DIR/reader.keytab" --principal="$READER_PRINCIPAL" -s "$CONF" \
    >"$DIR/keytab.log" 2>&1 \
    || { tail -20 "$DIR/keytab.log" >&2; die "exporting the reader's keytab failed (log: $DIR/keytab.log)"; }
  # What the domain holds, counted in sam.ldb itself (not through LDAP's paging).
  local all
  all=$(ldbsearch --configfile="$CONF" -H "$S/private/sam.ldb" -b "$BASE" "(objectClass=user)" dn \
          2>/dev/null | grep -c '^dn: ') \
    || die "counting the users in sam.ldb failed"
  printf 'HOSTKIT_AD_ALL_USERS=%s\n' "$all" >"$DIR/counts.env"
}

# The clients' Kerberos configuration: the KDC by address, and no look-ups
# that would turn the server's name into another one.
write_krb5_conf() {
  cat >"$DIR/krb5.conf" <<KRB5
# Written by tests/ad/dc.sh for clients inside the fixture's namespace.
[libdefaults]
	default_realm = $REALM
	dns_lookup_realm = false
	dns_lookup_kdc = false
	dns_canonicalize_hostname = false
	rdns = false
	ticket_lifetime = 10h
	forwardable = false

[realms]
	$REALM = {
		kdc = 127.0.0.1:88
		admin_server = 127.0.0.1
	}

[domain_realm]
	.$DNSDOMAIN = $REALM
	$DNSDOMAIN = $REALM
KRB5
}

cache_key() {
  { cat "$HERE/makedata.py" "$HERE/dnsrecords.py" "$0"; echo "$USERS $BIG"; samba -V; } | sha256sum | cut -c1-16
}

ldaps_up() {  # holder pid: the root DSE over ldaps with the CA and the name
  [ -f "$CA" ] || return 1
  in_ns "$1" env LDAPTLS_CACERT="$CA" LDAPTLS_REQCERT=demand \
    ldapsearch -x -LLL -o nettimeout=5 -H "ldaps://$FQDN" -b "" -s base \
    "(objectClass=*)" dnsHostName >/dev/null 2>&1
}

start_samba() {  # holder pid
  rm -f "$S/run/samba.pid"
  in_ns "$1" samba -D -s "$CONF" -l "$S/log" </dev/null >"$DIR/samba.out" 2>&1 \
    || { cat "$DIR/samba.out" >&2; die "samba did not start"; }
  local i
  # First start: a few seconds more for Samba to make its TLS certificate.
  for i in $(seq 1 600); do
    ldaps_up "$1" && return 0
    if [ "$i" -gt 20 ] && [ -z "$(samba_pid)" ]; then
      tail -30 "$S/log/samba.log" >&2 || true
      die "samba ended during start (log: $S/log/samba.log)"
    fi
    sleep 0.1
  done
  tail -30 "$S/log/samba.log" >&2 || true
  die "samba did not answer over ldaps within 60 s"
}

write_env() {  # holder pid
  local pid=$1
  {
    cat <<ENV
HOSTKIT_AD_DIR='$DIR'
HOSTKIT_AD_HOST=127.0.0.1
HOSTKIT_AD_NAME=$FQDN
HOSTKIT_AD_PORT=389
HOSTKIT_AD_LDAPS_PORT=636
HOSTKIT_AD_REALM=$REALM
HOSTKIT_AD_DOMAIN=$DOMAIN
HOSTKIT_AD_BASE='$BASE'
HOSTKIT_AD_CONFIG_BASE='CN=Configuration,$BASE'
HOSTKIT_AD_BINDDN='$READER_DN'
HOSTKIT_AD_PASSWORD='$READER_PASSWORD'
HOSTKIT_AD_ADMIN_DN='CN=Administrator,CN=Users,$BASE'
HOSTKIT_AD_ADMIN_PASSWORD='$ADMIN_PASSWORD'
HOSTKIT_AD_UNICODE_USER_PASSWORD='$USER_PASSWORD'
HOSTKIT_AD_CA='$CA'
HOSTKIT_AD_NS_PID=$pid
HOSTKIT_AD_NSENTER='nsenter --net=/proc/$pid/ns/net --mount=/proc/$pid/ns/mnt'
HOSTKIT_AD_URI=ldap://127.0.0.1:389
HOSTKIT_AD_LDAPS_URI=ldaps://$FQDN:636
# Values per range when a client asks for ranges (Samba does not range unasked).
HOSTKIT_AD_RANGE=1500
# Kerberos (see the header): KRB5_CONFIG and KRB5CCNAME are the fixture's own.
HOSTKIT_AD_KDC=127.0.0.1:88
HOSTKIT_AD_KRB5_CONFIG='$DIR/krb5.conf'
HOSTKIT_AD_KRB5CCNAME='FILE:$DIR/krb5cc'
HOSTKIT_AD_KRB5_PRINCIPAL='$READER_PRINCIPAL'
HOSTKIT_AD_KRB5_KEYTAB='$DIR/reader.keytab'
HOSTKIT_AD_LDAP_SPN='ldap/$FQDN'
KRB5_CONFIG='$DIR/krb5.conf'
KRB5CCNAME='FILE:$DIR/krb5cc'
ENV
    cat "$DIR/counts.env"
    python3 "$HERE/makedata.py" facts "$BASE" "$USERS" "$BIG"
  } >"$DIR/fixture.env"
  if [ "$DIR" = "$DEFAULT_DIR" ]; then
    cp "$DIR/fixture.env" "$ROOT/build/ad-fixture.env"
  fi
}

start() {
  command -v samba >/dev/null && command -v samba-tool >/dev/null && command -v ldbadd >/dev/null \
    || skip "Samba is not installed (samba, samba-tool, ldbadd; scripts/install-deps.sh)"
  command -v ip >/dev/null || skip "ip (iproute2) is missing"
  mkdir -p "$DIR"
  stop_all
  rm -rf "$DIR"
  mkdir -p "$DIR" "$CACHE"
  find "$CACHE" -mindepth 1 -maxdepth 1 -mtime +30 -exec rm -rf {} + 2>/dev/null || true

  local pid key from t0=$SECONDS
  # A start that fails leaves nothing running; its logs stay in $DIR.
  trap 'rc=$?; [ "$rc" = 0 ] || stop_all; exit "$rc"' EXIT
  pid=$(make_ns)
  key=$(cache_key)
  if [ -f "$CACHE/$key/complete" ]; then
    cp -a "$CACHE/$key/samba" "$S"
    cp -a "$CACHE/$key/reader.keytab" "$CACHE/$key/counts.env" "$DIR/"
    write_conf
    from=cache
    start_samba "$pid"
  else
    provision "$pid"
    # Keep a copy taken while Samba is stopped; its certificate joins it once
    # the first start has made one.
    rm -rf "$CACHE/$key.tmp"
    mkdir -p "$CACHE/$key.tmp"
    cp -a "$S" "$CACHE/$key.tmp/samba"
    cp -a "$DIR/reader.keytab" "$DIR/counts.env" "$CACHE/$key.tmp/"
    from=provisioned
    start_samba "$pid"
    cp -a "$S/private/tls/." "$CACHE/$key.tmp/samba/private/tls/"
    touch "$CACHE/$key.tmp/complete"
    rm -rf "${CACHE:?}/$key"
    mv "$CACHE/$key.tmp" "$CACHE/$key"
  fi
  write_krb5_conf
  write_env "$pid"
  echo "samba AD DC $FQDN ($REALM): ldap 127.0.0.1:389, ldaps :636, kdc :88 in namespace of pid $pid," \
    "$from, $((SECONDS - t0)) s ($DIR)"
}

case "${1:-}" in
start)
  start
  ;;
stop)
  stop_all
  if [ "$DIR" = "$DEFAULT_DIR" ]; then rm -f "$ROOT/build/ad-fixture.env"; fi
  ;;
status)
  pid=$(holder_pid); spid=$(samba_pid)
  if [ -n "$pid" ] && [ -n "$spid" ]; then
    echo "running: samba $spid in the namespace of $pid ($DIR)"
  else
    echo "not running${pid:+ (namespace $pid without samba)} ($DIR)"
    exit 3
  fi
  ;;
exec)
  shift
  [ $# -gt 0 ] || die "usage: $0 exec CMD [ARG...]"
  pid=$(holder_pid)
  [ -n "$pid" ] || die "not running ($DIR)"
  in_ns "$pid" "$@"
  ;;
*)
  echo "usage: $0 start|stop|status|exec CMD [ARG...]" >&2; exit 2 ;;
esac
