#!/usr/bin/env bash
# servers.sh -- OpenLDAP slapd servers for the directory tests, the demo and
# the benchmark, each on a free loopback port with its own configuration and
# data under a state folder:
#
#   main   dc=ombri,dc=test: people, private entries, awkward values, an
#          entry without person attributes, a referral to "ref", a referral
#          cycle with "ref", and $HOSTKIT_LDAP_BULK (1250) people under
#          ou=bulk with a size limit of 500 that only paging gets past; also
#          over ldaps:// (the certificate of "tls"), for the benchmark
#   ref    dc=other,dc=test: the partners that the referral points at
#   plain  dc=plain,dc=test with the same size limit, on a server whose root
#          DSE hides supportedControl, so that clients do not page; it has
#          no TLS, offers no SASL mechanism (Cyrus SASL finds its plugins
#          in an empty folder, plain/nosasl: no supportedSASLMechanisms),
#          and logs every operation to plain/slapd.log
#   tls    dc=tls,dc=test over ldap:// (StartTLS) and ldaps://, with a
#          certificate for 127.0.0.1 and localhost from a test CA made here;
#          simple binds need TLS there (security simple_bind)
#   badname dc=badname,dc=test over ldaps://, with a certificate from the
#          same CA for another host name
#   The folder tls/ holds ca.pem (the test CA) and otherca.pem (a CA that
#   signed nothing the servers show).
#   drop   not slapd but dropserver.py: it offers paging and then loses the
#          connection in the middle of a search's first page, and misbehaves
#          in other ways by search base (see its header); with a silent
#          port that accepts connections and never answers
#   stop   not slapd but stopproxy.py in front of main: it stops main with
#          SIGSTOP after the first page of a paged search, and continues it
#          when that client goes
#   cert-* one slapd per server certificate for the certificate checks
#          (see the block "Certificate servers" below)
#
# Size limits and server-side sorting (slapd 2.5 here):
#   limit  dc=limit,dc=test: the reader and $HOSTKIT_LDAP_LIMIT_BULK (1200)
#          people under ou=bulk (objectClass inetOrgPerson, as in main); it
#          offers paging, and its limits stop every search below the count:
#          a plain one after 500 entries (sizelimit 500), a paged one after
#          $HOSTKIT_LDAP_LIMIT_PRTOTAL (700) in all (size.prtotal), whatever
#          the page size. OpenLDAP's ldapsearch as the reader or anonymous,
#          base ou=bulk,dc=limit,dc=test, filter (objectClass=inetOrgPerson):
#            -E pr=500/noprompt   a page of 500 (result 0, a cookie), then
#                                 200 more and result 4 (Size limit
#                                 exceeded): 700 entries
#            -E pr=200/noprompt   three pages of 200, then 100 and result 4
#            -E pr=1000/noprompt  result 4 after 700
#            no paging            result 4 after 500
#            -z 100 -E pr=500/noprompt   result 4 after 100 (the client's
#                                 own limit)
#          The rootdn (cn=admin, secret) has no limits: 1,200 with paging.
#   sort   dc=sort,dc=test with the sssvlv overlay (server-side sorting,
#          1.2.840.113556.1.4.473, and virtual list views; it takes over
#          paging, so a sorted search pages in sort order): the reader and
#          $HOSTKIT_LDAP_SORT_COUNT (1200) people under ou=people, each a
#          posixAccount whose uidNumber (10000 .. 11199, all of five digits)
#          is shuffled against the order of the entries; cn (Sort 10000) and
#          sn (S10000) follow it. sssvlv sorts only by an attribute with an
#          ORDERING rule: of these entries' attributes, uidNumber
#          (integerOrderingMatch; HOSTKIT_LDAP_SORT_ATTRIBUTE) and gidNumber,
#          and the operational createTimestamp and modifyTimestamp; cn, sn,
#          uid and mail have none. With ldapsearch, base ou=people,
#          filter (objectClass=inetOrgPerson):
#            -E '!sss=uidNumber' -E pr=500/noprompt   1,200 entries in
#                                 three pages, uidNumber 10000, 10001, ...
#                                 (sortResult 0 on each page)
#            -E '!sss=-uidNumber' -E pr=500/noprompt  11199, 11198, ...
#            -E '!sss=uidNumber', no paging           500 sorted, result 4
#            -E '!sss=cn' (critical or not)           result 18
#                                 (Inappropriate matching, "serverSort
#                                 control: No ordering rule"), no entry
#            -E '!sss=cn:2.5.13.3'  sorted by cn with caseIgnoreOrderingMatch
#                                 named in the control
#          main has no sssvlv: a critical sort control fails with result 12
#          (Critical extension is unavailable) and no entry, a non-critical
#          one is ignored (result 0, unsorted, no sort result control).
#
# Usage: servers.sh start|stop|status
# State folder: $HOSTKIT_LDAP_DIR (default build/ldap next to the sources).
# "start" writes $HOSTKIT_LDAP_DIR/fixture.env (HOSTKIT_LDAP_* variables);
# with the default folder also build/ldap-fixture.env, which the test runner
# reads. Nothing listens on anything but 127.0.0.1.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
DEFAULT_DIR=$ROOT/build/ldap
DIR=${HOSTKIT_LDAP_DIR:-$DEFAULT_DIR}
BULK=${HOSTKIT_LDAP_BULK:-1250}
PLAIN_BULK=${HOSTKIT_LDAP_PLAIN_BULK:-600}
SLAPD=${SLAPD:-/usr/sbin/slapd}
SLAPADD=${SLAPADD:-/usr/sbin/slapadd}
SCHEMA=/etc/ldap/schema
MODULES=/usr/lib/ldap

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

write_conf() {  # name suffix rootdn extra-global
  local name=$1 suffix=$2 rootdn=$3 extra=${4:-}
  mkdir -p "$DIR/$name/db"
  cat >"$DIR/$name/slapd.conf" <<CONF
include $SCHEMA/core.schema
include $SCHEMA/cosine.schema
include $SCHEMA/inetorgperson.schema
include $SCHEMA/nis.schema
modulepath $MODULES
moduleload back_mdb
pidfile $DIR/$name/slapd.pid
argsfile $DIR/$name/slapd.args
loglevel none
sizelimit 500
$extra
database mdb
maxsize 1073741824
suffix "$suffix"
rootdn "$rootdn"
rootpw secret
directory $DIR/$name/db
index objectClass eq
index uid eq
limits users size.soft=500 size.hard=500 size.prtotal=unlimited
limits anonymous size.soft=500 size.hard=500 size.prtotal=unlimited
access to attrs=userPassword by anonymous auth by self read by * none
access to * by * read
CONF
}

# A test CA, a server certificate for 127.0.0.1 and localhost, one for
# another host name, and an unrelated CA. Keys are unencrypted: test only.
make_certs() {
  local t=$DIR/tls
  mkdir -p "$t"
  ca() {  # name subject
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "$2" \
      -keyout "$t/$1.key" -out "$t/$1.pem" >/dev/null 2>&1
  }
  leaf() {  # name subject subjectAltName
    openssl req -newkey rsa:2048 -nodes -subj "$2" -keyout "$t/$1.key" -out "$t/$1.csr" >/dev/null 2>&1
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" >"$t/$1.ext"
    openssl x509 -req -in "$t/$1.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
      -days 30 -extfile "$t/$1.ext" -out "$t/$1.pem" >/dev/null 2>&1
  }
  ca ca "/CN=Hostkit Test CA"
  ca otherca "/CN=Hostkit Other CA"
  leaf server "/CN=127.0.0.1" "IP:127.0.0.1,DNS:localhost"
  leaf badname "/CN=wrong.invalid" "DNS:wrong.invalid"
  # slapd may drop privileges on other systems; here it runs as the caller.
  chmod 600 "$t"/*.key
}

tls_conf() {  # certificate name
  printf 'TLSCACertificateFile %s\nTLSCertificateFile %s\nTLSCertificateKeyFile %s\n' \
    "$DIR/tls/ca.pem" "$DIR/tls/$1.pem" "$DIR/tls/$1.key"
}

wait_up() {  # port
  local i
  for i in $(seq 1 100); do
    if ldapsearch -x -LLL -H "ldap://127.0.0.1:$1" -b "" -s base "(objectClass=*)" namingContexts >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  echo "slapd on port $1 did not answer" >&2
  return 1
}

start_one() {  # name port ?extra listener URLs?
  # slapd makes its standard streams /dev/null when it detaches: with a
  # closed standard input its first socket would be descriptor 0 and go too.
  "$SLAPD" -f "$DIR/$1/slapd.conf" -h "ldap://127.0.0.1:$2/${3:+ $3}" -n "hostkit-$1" </dev/null
  wait_up "$2"
}

# A slapd that logs every operation (connections, StartTLS, binds, searches)
# to $DIR/NAME/slapd.log: it stays in the foreground with its log on
# standard error, so it is put in the background here.
start_logged() {  # name port
  setsid "$SLAPD" -f "$DIR/$1/slapd.conf" -h "ldap://127.0.0.1:$2/" -n "hostkit-$1" -d stats \
    </dev/null >/dev/null 2>"$DIR/$1/slapd.log" &
  wait_up "$2"
}

start_python() {  # name port script args...
  local name=$1 port=$2 script=$3
  shift 3
  mkdir -p "$DIR/$name"
  setsid python3 "$HERE/$script" "$port" "$@" </dev/null >"$DIR/$name/server.log" 2>&1 &
  echo $! >"$DIR/$name/server.pid"
  set -- "$port"
  local i
  for i in $(seq 1 100); do
    if python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "$script on port $1 did not answer" >&2
  return 1
}

stop_all() {
  local f pid n
  for f in "$DIR"/*/slapd.pid "$DIR"/*/server.pid; do
    [ -f "$f" ] || continue
    # A slapd left stopped by the proxy must run to end.
    kill -CONT "$(cat "$f")" 2>/dev/null || true
    pid=$(cat "$f")
    if kill "$pid" 2>/dev/null; then
      for n in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$f"
  done
}

# ---- Certificate servers ------------------------------------------------------
# One slapd per certificate that the certificate and host-name checks of
# tests/ldaptls.test need, each serving dc=NAME,dc=test (makedata.py tls)
# over ldaps:// on HOSTKIT_LDAP_CERT_<NAME>_PORT; all certificates from the
# test CA unless said:
#   localonly  DNS:localhost only, CN=localhost
#   hostonly   only the machine's own name (hostname, hostname -f)
#   cnip       DNS:other.invalid, with CN=127.0.0.1
#   nosan      no subjectAltName, CN=127.0.0.1
#   wildcard   DNS:*.x.test
#   expired    IP:127.0.0.1 and DNS:localhost, expired since yesterday
#   impostor   IP:127.0.0.1 and DNS:localhost, self-signed (no CA), every
#              operation logged to impostor/slapd.log
#   clientcert the certificate of "tls"; demands a client certificate
#   tlsref     over ldap:// only (HOSTKIT_LDAP_CERT_TLSREF_PORT): a referral
#              entry ou=tls,dc=tlsref,dc=test that leads to "tls" over
#              ldaps://
# Keys are EC (quick to make), unencrypted: test only. The folder tls/ also
# holds CA files that cannot be used: fifo (a FIFO nobody writes) and
# huge.pem (2 MB).
CERT_SERVERS="localonly hostonly cnip nosan wildcard expired impostor clientcert tlsref"

cert_leaf() {  # name subject extensions days (of the test CA)
  local t=$DIR/tls
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "$2" \
    -keyout "$t/$1.key" -out "$t/$1.csr" >/dev/null 2>&1
  printf '%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" >"$t/$1.ext"
  openssl x509 -req -in "$t/$1.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
    -days "$4" -extfile "$t/$1.ext" -out "$t/$1.pem" >/dev/null 2>&1
}

make_cert_server_certs() {
  local t=$DIR/tls names n
  names="DNS:$(hostname)"
  n=$(hostname -f 2>/dev/null || true)
  [ -n "$n" ] && [ "$n" != "$(hostname)" ] && names="$names,DNS:$n"
  cert_leaf localonly "/CN=localhost" "subjectAltName=DNS:localhost" 30
  cert_leaf hostonly "/CN=$(hostname)" "subjectAltName=$names" 30
  cert_leaf cnip "/CN=127.0.0.1" "subjectAltName=DNS:other.invalid" 30
  cert_leaf nosan "/CN=127.0.0.1" "" 30
  cert_leaf wildcard "/CN=*.x.test" "subjectAltName=DNS:*.x.test" 30
  # A negative term: valid from now, expired since yesterday.
  cert_leaf expired "/CN=127.0.0.1" "subjectAltName=IP:127.0.0.1,DNS:localhost" -1
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
    -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
    -keyout "$t/impostor.key" -out "$t/impostor.pem" >/dev/null 2>&1
  chmod 600 "$t"/*.key
  mkfifo "$t/fifo"
  { cat "$t/ca.pem"; head -c 2097152 /dev/zero | tr '\0' x; } >"$t/huge.pem"
}

wait_port() {  # port
  local i
  for i in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "nothing answers on port $1" >&2
  return 1
}

free_ports() {  # count: that many free ports at once, none of them in use together
  python3 -c 'import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))' "$1"
}

start_cert_servers() {
  local name var port extra used=" $* " ports count=0
  make_cert_server_certs
  for name in $CERT_SERVERS; do count=$((count + 1)); done
  ports=($(free_ports "$count"))
  # The data of every server: the same small tree under its own name.
  python3 "$HERE/makedata.py" tls certname >"$DIR/certname.ldif"
  for name in $CERT_SERVERS; do
    port=${ports[0]}; ports=("${ports[@]:1}")
    while [[ "$used" == *" $port "* ]]; do port=$(free_port); done
    used="$used$port "
    var=CERT_$(echo "$name" | tr a-z A-Z)_PORT
    printf -v "$var" %s "$port"
    case $name in
      clientcert) extra="$(tls_conf server)
TLSVerifyClient demand" ;;
      tlsref) extra="" ;;
      *) extra=$(tls_conf "$name") ;;
    esac
    write_conf "$name" "dc=$name,dc=test" "cn=admin,dc=$name,dc=test" "$extra"
    sed -e "s/certname/$name/g" -e "s/Certname/${name^}/g" "$DIR/certname.ldif" >"$DIR/$name.ldif"
    if [ "$name" = tlsref ]; then
      printf 'dn: ou=tls,dc=tlsref,dc=test\nobjectClass: referral\nobjectClass: extensibleObject\nou: tls\nref: ldaps://127.0.0.1:%s/dc=tls,dc=test\n\n' \
        "$TLS_LDAPS_PORT" >>"$DIR/$name.ldif"
    fi
    "$SLAPADD" -q -f "$DIR/$name/slapd.conf" -l "$DIR/$name.ldif" >"$DIR/$name/slapadd.log" 2>&1 \
      || { cat "$DIR/$name/slapadd.log" >&2; return 1; }
    if [ "$name" = tlsref ]; then
      "$SLAPD" -f "$DIR/$name/slapd.conf" -h "ldap://127.0.0.1:$port/" -n "hostkit-$name" </dev/null
    elif [ "$name" = impostor ]; then
      # In the foreground with its log on standard error, put in the background here.
      setsid "$SLAPD" -f "$DIR/$name/slapd.conf" -h "ldaps://127.0.0.1:$port/" -n "hostkit-$name" \
        -d stats </dev/null >/dev/null 2>"$DIR/$name/slapd.log" &
    else
      "$SLAPD" -f "$DIR/$name/slapd.conf" -h "ldaps://127.0.0.1:$port/" -n "hostkit-$name" </dev/null
    fi
  done
  for name in $CERT_SERVERS; do
    var=CERT_$(echo "$name" | tr a-z A-Z)_PORT
    wait_port "${!var}"
  done
}

cert_servers_env() {
  local name var
  for name in $CERT_SERVERS; do
    var=CERT_$(echo "$name" | tr a-z A-Z)_PORT
    echo "HOSTKIT_LDAP_$var=${!var}"
  done
  echo "HOSTKIT_LDAP_CERT_DIR=$DIR/tls"
}

case "${1:-}" in
start)
  stop_all
  rm -rf "$DIR"
  mkdir -p "$DIR"
  MAIN_PORT=$(free_port); REF_PORT=$(free_port); PLAIN_PORT=$(free_port)
  while [ "$REF_PORT" = "$MAIN_PORT" ]; do REF_PORT=$(free_port); done
  while [ "$PLAIN_PORT" = "$MAIN_PORT" ] || [ "$PLAIN_PORT" = "$REF_PORT" ]; do PLAIN_PORT=$(free_port); done
  used="$MAIN_PORT $REF_PORT $PLAIN_PORT"
  for v in MAIN_LDAPS_PORT TLS_PORT TLS_LDAPS_PORT BADNAME_PORT BADNAME_LDAPS_PORT DROP_PORT SILENT_PORT STOP_PORT; do
    printf -v "$v" %s "$(free_port)"
    while [[ " $used " == *" ${!v} "* ]]; do printf -v "$v" %s "$(free_port)"; done
    used="$used ${!v}"
  done

  make_certs
  write_conf main "dc=ombri,dc=test" "cn=admin,dc=ombri,dc=test" "$(tls_conf server)"
  write_conf ref "dc=test" "cn=admin,dc=test"
  # The root DSE of this server does not tell clients about its controls.
  write_conf plain "dc=plain,dc=test" "cn=admin,dc=plain,dc=test" \
    'access to dn.base="" attrs=supportedControl by * none
access to dn.base="" by * read'

  write_conf tls "dc=tls,dc=test" "cn=admin,dc=tls,dc=test" "$(tls_conf server)
security simple_bind=64"
  write_conf badname "dc=badname,dc=test" "cn=admin,dc=badname,dc=test" "$(tls_conf badname)"

  python3 "$HERE/makedata.py" main "$MAIN_PORT" "$REF_PORT" "$BULK" >"$DIR/main.ldif"
  python3 "$HERE/makedata.py" ref "$MAIN_PORT" "$REF_PORT" >"$DIR/ref.ldif"
  python3 "$HERE/makedata.py" plain "$PLAIN_BULK" >"$DIR/plain.ldif"
  python3 "$HERE/makedata.py" tls tls >"$DIR/tls.ldif"
  python3 "$HERE/makedata.py" tls badname >"$DIR/badname.ldif"
  for n in main ref plain tls badname; do
    "$SLAPADD" -q -f "$DIR/$n/slapd.conf" -l "$DIR/$n.ldif" >"$DIR/$n/slapadd.log" 2>&1 \
      || { cat "$DIR/$n/slapadd.log" >&2; exit 1; }
  done
  start_one main "$MAIN_PORT" "ldaps://127.0.0.1:$MAIN_LDAPS_PORT/"
  start_one ref "$REF_PORT"
  mkdir -p "$DIR/plain/nosasl"
  SASL_PATH="$DIR/plain/nosasl" start_logged plain "$PLAIN_PORT"
  start_one tls "$TLS_PORT" "ldaps://127.0.0.1:$TLS_LDAPS_PORT/"
  start_one badname "$BADNAME_PORT" "ldaps://127.0.0.1:$BADNAME_LDAPS_PORT/"
  start_python drop "$DROP_PORT" dropserver.py "$SILENT_PORT"
  start_python stop "$STOP_PORT" stopproxy.py "$MAIN_PORT" "$DIR/main/slapd.pid"
  start_cert_servers $used

  cat >"$DIR/fixture.env" <<ENV
HOSTKIT_LDAP_HOST=127.0.0.1
HOSTKIT_LDAP_PORT=$MAIN_PORT
HOSTKIT_LDAP_MAIN_LDAPS_PORT=$MAIN_LDAPS_PORT
HOSTKIT_LDAP_REF_PORT=$REF_PORT
HOSTKIT_LDAP_PLAIN_PORT=$PLAIN_PORT
HOSTKIT_LDAP_DROP_PORT=$DROP_PORT
HOSTKIT_LDAP_SILENT_PORT=$SILENT_PORT
HOSTKIT_LDAP_STOP_PORT=$STOP_PORT
HOSTKIT_LDAP_DIR=$DIR
HOSTKIT_LDAP_BINDDN='cn=reader,dc=ombri,dc=test'
HOSTKIT_LDAP_PLAIN_BINDDN='cn=reader,dc=plain,dc=test'
HOSTKIT_LDAP_PASSWORD=secret
HOSTKIT_LDAP_BASE='dc=ombri,dc=test'
HOSTKIT_LDAP_PLAIN_BASE='dc=plain,dc=test'
HOSTKIT_LDAP_BULK=$BULK
HOSTKIT_LDAP_PLAIN_BULK=$PLAIN_BULK
HOSTKIT_LDAP_TLS_PORT=$TLS_PORT
HOSTKIT_LDAP_TLS_LDAPS_PORT=$TLS_LDAPS_PORT
HOSTKIT_LDAP_TLS_BASE='dc=tls,dc=test'
HOSTKIT_LDAP_TLS_BINDDN='cn=reader,dc=tls,dc=test'
HOSTKIT_LDAP_BADNAME_LDAPS_PORT=$BADNAME_LDAPS_PORT
HOSTKIT_LDAP_BADNAME_BASE='dc=badname,dc=test'
HOSTKIT_LDAP_CA=$DIR/tls/ca.pem
HOSTKIT_LDAP_OTHER_CA=$DIR/tls/otherca.pem
ENV
  cert_servers_env >>"$DIR/fixture.env"
  # ---- size limits and sorting: limit, sort (see the header) -------------------------
  LIMIT_BULK=${HOSTKIT_LDAP_LIMIT_BULK:-1200}
  LIMIT_PRTOTAL=700
  SORT_COUNT=${HOSTKIT_LDAP_SORT_COUNT:-1200}
  for v in LIMIT_PORT SORT_PORT; do
    printf -v "$v" %s "$(free_port)"
    while [[ " $used " == *" ${!v} "* ]]; do printf -v "$v" %s "$(free_port)"; done
    used="$used ${!v}"
  done
  write_conf limit "dc=limit,dc=test" "cn=admin,dc=limit,dc=test"
  sed -i '/^limits /d' "$DIR/limit/slapd.conf"
  cat >>"$DIR/limit/slapd.conf" <<CONF
limits users size.soft=500 size.hard=500 size.prtotal=$LIMIT_PRTOTAL
limits anonymous size.soft=500 size.hard=500 size.prtotal=$LIMIT_PRTOTAL
CONF
  write_conf sort "dc=sort,dc=test" "cn=admin,dc=sort,dc=test" "moduleload sssvlv"
  echo "overlay sssvlv" >>"$DIR/sort/slapd.conf"
  python3 "$HERE/makedata.py" limit "$LIMIT_BULK" >"$DIR/limit.ldif"
  python3 "$HERE/makedata.py" sort "$SORT_COUNT" >"$DIR/sort.ldif"
  for n in limit sort; do
    "$SLAPADD" -q -f "$DIR/$n/slapd.conf" -l "$DIR/$n.ldif" >"$DIR/$n/slapadd.log" 2>&1 \
      || { cat "$DIR/$n/slapadd.log" >&2; exit 1; }
  done
  start_one limit "$LIMIT_PORT"
  start_one sort "$SORT_PORT"
  cat >>"$DIR/fixture.env" <<ENV
HOSTKIT_LDAP_LIMIT_PORT=$LIMIT_PORT
HOSTKIT_LDAP_LIMIT_BASE='ou=bulk,dc=limit,dc=test'
HOSTKIT_LDAP_LIMIT_BINDDN='cn=reader,dc=limit,dc=test'
HOSTKIT_LDAP_LIMIT_BULK=$LIMIT_BULK
HOSTKIT_LDAP_LIMIT_SIZELIMIT=500
HOSTKIT_LDAP_LIMIT_PRTOTAL=$LIMIT_PRTOTAL
HOSTKIT_LDAP_SORT_PORT=$SORT_PORT
HOSTKIT_LDAP_SORT_BASE='ou=people,dc=sort,dc=test'
HOSTKIT_LDAP_SORT_BINDDN='cn=reader,dc=sort,dc=test'
HOSTKIT_LDAP_SORT_COUNT=$SORT_COUNT
HOSTKIT_LDAP_SORT_ATTRIBUTE=uidNumber
HOSTKIT_LDAP_SORT_FIRST=10000
HOSTKIT_LDAP_SORT_SIZELIMIT=500
ENV
  echo "slapd: limit 127.0.0.1:$LIMIT_PORT (size limit 500, paged $LIMIT_PRTOTAL), sort 127.0.0.1:$SORT_PORT (sssvlv)"

  if [ "$DIR" = "$DEFAULT_DIR" ]; then
    cp "$DIR/fixture.env" "$ROOT/build/ldap-fixture.env"
  fi
  echo "slapd: main 127.0.0.1:$MAIN_PORT, ref 127.0.0.1:$REF_PORT, plain 127.0.0.1:$PLAIN_PORT," \
    "tls 127.0.0.1:$TLS_PORT and ldaps $TLS_LDAPS_PORT, badname ldaps $BADNAME_LDAPS_PORT; drop 127.0.0.1:$DROP_PORT, silent $SILENT_PORT, stop proxy $STOP_PORT ($DIR)"
  ;;
stop)
  stop_all
  if [ "$DIR" = "$DEFAULT_DIR" ]; then rm -f "$ROOT/build/ldap-fixture.env"; fi
  ;;
status)
  for f in "$DIR"/*/slapd.pid "$DIR"/*/server.pid; do
    [ -f "$f" ] && kill -0 "$(cat "$f")" 2>/dev/null && echo "running: $f"
  done
  true
  ;;
*)
  echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
