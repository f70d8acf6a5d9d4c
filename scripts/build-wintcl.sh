#!/usr/bin/env bash
# Builds a 64-bit Windows Tcl 8.6 (tclsh86.exe, tcl86.dll, libtclstub86.a,
# headers and the script library with tcltest) from Debian's tcl8.6 source
# package with mingw-w64, once, and caches it under build-win/wintcl/.
#
#   scripts/build-wintcl.sh            # builds if the cache is missing or incomplete
#   WINTCL_DIR=/some/dir scripts/build-wintcl.sh
#   JOBS=1 scripts/build-wintcl.sh     # make -j level (default 2)
#
# Layout of the cache:
#   bin/      tclsh86.exe tcl86.dll zlib1.dll
#   lib/      libtclstub86.a libtcl86.a (import lib) tclConfig.sh tcl8.6/ tcl8/ dde*/ reg*/
#   include/  tcl.h tclDecls.h ... (public and private headers)
#   src/      the unpacked Debian source package
#
# Assumes scripts/install-deps.sh has run (mingw-w64, dpkg-dev, tcl8.6, deb-src entry).
# The build happens in a scratch folder next to the cache and is moved into place
# only when complete, so an interrupted run leaves no half-built cache behind.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINTCL_DIR=${WINTCL_DIR:-$ROOT/build-win/wintcl}
HOST=${WINTCL_HOST:-x86_64-w64-mingw32}
JOBS=${JOBS:-2}
STAMP=.hostkit-wintcl-complete

cache_ok() {
  [[ -f $WINTCL_DIR/$STAMP && -f $WINTCL_DIR/bin/tclsh86.exe && -f $WINTCL_DIR/bin/tcl86.dll \
     && -f $WINTCL_DIR/lib/libtclstub86.a && -f $WINTCL_DIR/include/tcl.h \
     && -f $WINTCL_DIR/lib/tcl8.6/init.tcl ]]
}

if cache_ok; then
  echo "Windows Tcl: $WINTCL_DIR (cached)"
  exit 0
fi

mkdir -p "$(dirname "$WINTCL_DIR")"
WINTCL_DIR=$(cd "$(dirname "$WINTCL_DIR")" && pwd)/$(basename "$WINTCL_DIR")
PARENT=$(dirname "$WINTCL_DIR")

# Two builds at once (e.g. parallel CI steps) would race on the final move.
exec 9>"$PARENT/.wintcl.lock"
flock 9
if cache_ok; then
  echo "Windows Tcl: $WINTCL_DIR (built by a concurrent run)"
  exit 0
fi

for tool in "$HOST-gcc" apt-get dpkg-source make tclsh8.6 flock; do
  command -v "$tool" >/dev/null || { echo "build-wintcl: '$tool' not found; run scripts/install-deps.sh" >&2; exit 1; }
done

STAGE=$(mktemp -d "$PARENT/.wintcl-build.XXXXXX")
LOG=$PARENT/wintcl-build.log
: >"$LOG"
cleanup() {
  local rc=$?
  if (( rc != 0 )); then
    echo "build-wintcl: failed (exit $rc); last lines of $LOG:" >&2
    tail -n 20 "$LOG" | cut -c1-300 >&2 || true
  fi
  rm -rf "$STAGE"
  # "make install" creates $prefix/lib directly, outside INSTALL_ROOT; drop it
  # again if this run did not finish (rmdir leaves anything non-empty alone).
  if [[ ! -f $WINTCL_DIR/$STAMP ]]; then
    rmdir "$WINTCL_DIR/lib" "$WINTCL_DIR" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "build-wintcl: building Windows Tcl 8.6 in $STAGE (log: $LOG)"

# 1. Source: download and unpack (applies Debian's patches, which touch only
#    unix/), but never build the Debian package itself.
mkdir -p "$STAGE/src"
( cd "$STAGE/src" && apt-get source -q tcl8.6 ) >>"$LOG" 2>&1 || {
  echo "build-wintcl: 'apt-get source tcl8.6' failed; is a deb-src entry configured and 'apt-get update' done?" >&2
  exit 1
}
SRCDIR=$(find "$STAGE/src" -mindepth 1 -maxdepth 1 -type d -name 'tcl8.6*' | head -n1)
[[ -n $SRCDIR && -x $SRCDIR/win/configure ]] || { echo "build-wintcl: unpacked source has no win/configure" >&2; exit 1; }
SRCNAME=$(basename "$SRCDIR")

# 2. Configure and build out of tree, so src/ stays a clean source tree.
#    Threads are on by default in 8.6; the shared build also installs zlib1.dll.
mkdir -p "$STAGE/obj"
(
  cd "$STAGE/obj"
  "$SRCDIR/win/configure" --host="$HOST" --enable-64bit --enable-threads --prefix="$WINTCL_DIR"
  nice -n 5 make -j"$JOBS"
  make install install-private-headers INSTALL_ROOT="$STAGE/root"
) >>"$LOG" 2>&1

# 3. Assemble: installed tree + source, with build-time paths in tclConfig.sh
#    pointed at their final homes (the obj folder is thrown away).
FINAL=$STAGE/root$WINTCL_DIR
mv "$STAGE/src" "$FINAL/src"
for f in "$FINAL"/lib/tclConfig.sh "$FINAL"/lib/tclooConfig.sh; do
  [[ -f $f ]] || continue
  sed -i -e "s|$STAGE/src/$SRCNAME|$WINTCL_DIR/src/$SRCNAME|g" \
         -e "s|$STAGE/obj|$WINTCL_DIR/lib|g" "$f"
done
touch "$FINAL/$STAMP"

# 4. Swap into place; anything left by an earlier broken run goes away.
if [[ -e $WINTCL_DIR ]]; then
  mv "$WINTCL_DIR" "$STAGE/old"
fi
mv "$FINAL" "$WINTCL_DIR"

cache_ok || { echo "build-wintcl: installed tree is incomplete" >&2; exit 1; }
echo "Windows Tcl: $WINTCL_DIR (tclsh: bin/tclsh86.exe, stubs: lib/libtclstub86.a, headers: include/)"
