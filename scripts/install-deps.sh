#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the demo need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

# The Windows Tcl is built from Debian's tcl8.6 source package, which needs a deb-src entry.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  cat > /etc/apt/sources.list.d/hostkit-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

# Packages with system daemons (slapd, samba) start them on installation unless
# policy-rc.d says no: the tests run their own servers, so none may start here.
own_policy=
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\n# hostkit install-deps: no daemon starts during installation\nexit 101\n' \
    >/usr/sbin/policy-rc.d
  chmod 755 /usr/sbin/policy-rc.d
  own_policy=1
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi

# wine32 needs the i386 architecture; wine64 alone is enough for the 64-bit DLL.
# tcl-thread: the directory suite runs searches from several threads at once.
# zip: Tcl 9's build packs its script library with it (scripts/build-tcl9.sh);
# without it Tcl builds a zip tool of its own first.
# Samba's AD domain controller for tests/ad: samba-ad-provision holds the
# schema for provisioning, samba-vfs-modules the ACL module it sets sysvol
# with; winbind is not needed (the fixture runs samba without winbindd).
# krb5-user (kinit, klist, kdestroy) and the Cyrus SASL GSSAPI module are the
# Kerberos clients of its GSSAPI binds; libsasl2-dev holds the SASL header the
# Linux client's negotiate bind is built with (directory/unix/unixNegotiate.cpp). Without recommends krb5-config stays
# out: it asks debconf for a default realm and writes /etc/krb5.conf, which the
# fixture never uses (it has a krb5.conf of its own); should it come in anyway,
# the noninteractive front end above takes its defaults without asking.
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config dpkg-dev \
  tcl8.6 tcl8.6-dev tcllib tcl-thread \
  libgtest-dev googletest \
  clang libclang-rt-14-dev \
  mingw-w64 wine wine64 \
  slapd ldap-utils libldap-dev libgnutls28-dev openssl \
  samba samba-ad-provision samba-dsdb-modules samba-vfs-modules samba-common-bin ldb-tools \
  krb5-user libsasl2-modules-gssapi-mit libsasl2-dev \
  iproute2 util-linux \
  python3 python3-pefile \
  procps time zip >/dev/null

if [ -n "$own_policy" ]; then rm -f /usr/sbin/policy-rc.d; trap - EXIT; fi
# Nor may Samba's start at boot where init scripts run, nor run now.
for svc in smbd nmbd samba-ad-dc winbind; do
  [ -x "/etc/init.d/$svc" ] || continue
  update-rc.d "$svc" disable >/dev/null 2>&1 || true
  if "/etc/init.d/$svc" status >/dev/null 2>&1; then "/etc/init.d/$svc" stop >/dev/null 2>&1 || true; fi
done
