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

# wine32 needs the i386 architecture; wine64 alone is enough for the 64-bit DLL.
# zip: Tcl 9's build packs its script library with it (scripts/build-tcl9.sh);
# without it Tcl builds a zip tool of its own first.
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config dpkg-dev \
  tcl8.6 tcl8.6-dev tcllib \
  libgtest-dev googletest \
  clang libclang-rt-14-dev \
  mingw-w64 wine wine64 \
  slapd ldap-utils libldap-dev openssl \
  python3 python3-pefile \
  procps time zip >/dev/null
