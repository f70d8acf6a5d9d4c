#!/usr/bin/env bash
# Builds Tcl 9.0.3 from its release source, once per system, and caches the
# installed tree:
#   Linux    build/tcl9/       bin/tclsh9.0, lib/libtcl9.0.so, lib/libtclstub.a,
#                              lib/tclConfig.sh, include/
#   Windows  build-win/tcl9/   bin/tclsh90.exe, bin/tcl90.dll, bin/libtommath.dll,
#                              bin/zlib1.dll, lib/libtclstub.a, lib/tclConfig.sh, include/
#                              (64-bit, mingw-w64)
# The script library (init.tcl, tcltest ...) is not a folder in Tcl 9: it is a zip
# archive appended to libtcl9.0.so / tcl90.dll, which Tcl mounts at //zipfs:/lib/tcl.
# Each tree also keeps the unpacked source in src/ (tclConfig.sh points at it).
#
#   scripts/build-tcl9.sh [linux|windows|all]   # default all; builds what is missing
#   scripts/build-tcl9.sh fetch                 # only finds or downloads the source
#   TCL9_SRC=/path/tcl9.0.3-src.tar.gz scripts/build-tcl9.sh
#   TCL9_DIR=/some/dir WINTCL9_DIR=/other/dir scripts/build-tcl9.sh
#   JOBS=1 scripts/build-tcl9.sh                # make -j level (default 2)
#
# The source, tcl9.0.3-src.tar.gz (the release's SHA-256 is checked whatever
# its origin), is the first of:
#   1. $TCL9_SRC, when set;
#   2. a local copy beside the repository, ../shared/deps/ (for a git worktree,
#      beside its main checkout), or $TCL9_LOCAL_COPY;
#   3. an earlier download, build/downloads/ ($TCL9_DOWNLOAD_DIR);
#   4. a download from the release files that Tcl's download page
#      (https://www.tcl-lang.org/software/tcltk/download.html) leads to
#      ($TCL9_URL: one or more addresses, tried in turn), kept in
#      build/downloads/ for the next run. Without a network the script says
#      where to put the file.
#
# Running them:
#   Linux    build/tcl9/bin/tclsh9.0 script.tcl   (finds libtcl9.0.so through an absolute
#            rpath to build/tcl9/lib, so the tree must stay where it was built)
#   Windows  WINE_TCLSH=$PWD/build-win/tcl9/bin/tclsh90.exe scripts/wine-tclsh.sh script.tcl
#
# The bundled packages (pkgs/: itcl, sqlite3, tdbc*, thread) are left out: the
# release lacks a file of sqlite3, sqlite3 and thread fail with mingw-w64, and
# nothing here needs them; tcltest is part of Tcl's own library.
# Assumes scripts/install-deps.sh has run (build-essential, mingw-w64, zip, python3).
# Each build happens in a scratch folder next to its cache and is moved into
# place only when complete, so an interrupted run leaves no half-built cache;
# a download likewise goes to a scratch file first.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TCL9_TARBALL=tcl9.0.3-src.tar.gz
TCL9_SHA256=24c70f9a5951a9d9edc0a142ac6600a0b0c787197f73e2d0f9a43d097dcb5687
TCL9_SRC=${TCL9_SRC:-}
# Beside the repository; for a git worktree, beside its main checkout too.
if [[ -z ${TCL9_LOCAL_COPY:-} ]]; then
  TCL9_LOCAL_COPY=$ROOT/../shared/deps/$TCL9_TARBALL
  main_checkout=$(git -C "$ROOT" rev-parse --path-format=absolute --git-common-dir 2>/dev/null) || main_checkout=
  if [[ ! -f $TCL9_LOCAL_COPY && -n $main_checkout ]]; then
    TCL9_LOCAL_COPY=$(dirname "$main_checkout")/../shared/deps/$TCL9_TARBALL
  fi
fi
TCL9_DOWNLOAD_DIR=${TCL9_DOWNLOAD_DIR:-$ROOT/build/downloads}
TCL9_URL=${TCL9_URL:-https://prdownloads.sourceforge.net/tcl/$TCL9_TARBALL https://downloads.sourceforge.net/project/tcl/Tcl/9.0.3/$TCL9_TARBALL}
TCL9_FETCH_TIMEOUT=${TCL9_FETCH_TIMEOUT:-60}
TCL9_DIR=${TCL9_DIR:-$ROOT/build/tcl9}
WINTCL9_DIR=${WINTCL9_DIR:-$ROOT/build-win/tcl9}
HOST=${TCL9_HOST:-x86_64-w64-mingw32}
JOBS=${JOBS:-2}
STAMP=.hostkit-tcl9-complete
PATCHLEVEL=9.0.3

usage() { echo "usage: $0 [linux|windows|all|fetch]" >&2; exit 2; }
(( $# <= 1 )) || usage
case ${1:-all} in
  linux) SYSTEMS=(linux) ;;
  windows) SYSTEMS=(windows) ;;
  all) SYSTEMS=(linux windows) ;;
  fetch) SYSTEMS=() ;;
  *) usage ;;
esac

sha256_ok() {  # file
  [[ $(sha256sum <"$1" | cut -d' ' -f1) == "$TCL9_SHA256" ]]
}

# Downloads the release into the download folder, through a scratch file
# that becomes the cached copy only once its SHA-256 is right. Tries each
# address of TCL9_URL in turn.
download_source() {  # target
  local target=$1 url scratch why=""
  mkdir -p "$(dirname "$target")"
  scratch=$(mktemp "$(dirname "$target")/.$TCL9_TARBALL.XXXXXX")
  for url in $TCL9_URL; do
    echo "build-tcl9: downloading $url" >&2
    if ! why=$(python3 - "$url" "$scratch" "$TCL9_FETCH_TIMEOUT" 2>&1 <<'PY'
import shutil, sys, urllib.request
url, out, timeout = sys.argv[1], sys.argv[2], float(sys.argv[3])
try:
    req = urllib.request.Request(url, headers={"User-Agent": "hostkit-build-tcl9"})
    with urllib.request.urlopen(req, timeout=timeout) as r, open(out, "wb") as f:
        shutil.copyfileobj(r, f)
except Exception as e:
    sys.exit(f"{type(e).__name__}: {e}")
PY
    ); then
      echo "build-tcl9: $url: ${why##*$'\n'}" >&2
      continue
    fi
    if ! sha256_ok "$scratch"; then
      echo "build-tcl9: $url is not the Tcl $PATCHLEVEL release (its SHA-256 is" \
           "$(sha256sum <"$scratch" | cut -d' ' -f1), not $TCL9_SHA256); not kept" >&2
      continue
    fi
    mv -f "$scratch" "$target"
    return 0
  done
  rm -f "$scratch"
  return 1
}

# Prints the path of a source tarball with the release's SHA-256 (see the
# header for where it is looked for), downloading it if need be; fails with
# a message saying what to put where.
find_source() {
  local cached=$TCL9_DOWNLOAD_DIR/$TCL9_TARBALL
  if [[ -n $TCL9_SRC ]]; then
    [[ -f $TCL9_SRC ]] || { echo "build-tcl9: source $TCL9_SRC not found (TCL9_SRC)" >&2; return 1; }
    sha256_ok "$TCL9_SRC" || {
      echo "build-tcl9: $TCL9_SRC is not the expected Tcl $PATCHLEVEL release (sha256 differs)" >&2
      return 1
    }
    echo "$TCL9_SRC"; return 0
  fi
  if [[ -f $TCL9_LOCAL_COPY ]]; then
    if sha256_ok "$TCL9_LOCAL_COPY"; then
      echo "$TCL9_LOCAL_COPY"; return 0
    fi
    echo "build-tcl9: $TCL9_LOCAL_COPY is not the Tcl $PATCHLEVEL release (sha256 differs); not used" >&2
  fi
  if [[ -f $cached ]]; then
    if sha256_ok "$cached"; then
      echo "$cached"; return 0
    fi
    echo "build-tcl9: $cached is not the Tcl $PATCHLEVEL release (sha256 differs); downloading again" >&2
    rm -f "$cached"
  fi
  if download_source "$cached"; then
    echo "$cached"; return 0
  fi
  cat >&2 <<MSG
build-tcl9: the Tcl $PATCHLEVEL source could not be had. Without a network, copy the
release file $TCL9_TARBALL (SHA-256 $TCL9_SHA256,
from https://www.tcl-lang.org/software/tcltk/download.html) to
  $cached
or name it with TCL9_SRC=/path/to/$TCL9_TARBALL, and run this again.
MSG
  return 1
}

if [[ ${1:-all} == fetch ]]; then
  find_source
  exit
fi

# The files each cache must hold to count as complete.
cache_files() {  # system dir
  local d=$2
  if [[ $1 == linux ]]; then
    echo "$d/bin/tclsh9.0 $d/lib/libtcl9.0.so $d/lib/libtclstub.a $d/lib/tclConfig.sh" \
         "$d/include/tcl.h"
  else
    echo "$d/bin/tclsh90.exe $d/bin/tcl90.dll $d/bin/libtommath.dll $d/bin/zlib1.dll" \
         "$d/lib/libtclstub.a $d/lib/tclConfig.sh $d/include/tcl.h"
  fi
}
cache_ok() {  # system dir
  local f
  [[ -f $2/$STAMP ]] || return 1
  for f in $(cache_files "$1" "$2"); do [[ -f $f ]] || return 1; done
}

# Tcl 9 keeps its script library (init.tcl, tcltest, encodings ...) in a zip
# archive appended to libtcl9.0.so / tcl90.dll and mounts it at //zipfs:/lib/tcl,
# so the install has no lib/tcl9.0 folder. The archive must hold init.tcl and a
# tcltest module: every Tcl suite of the package needs tcltest.
library_ok() {  # shared library
  python3 - "$1" <<'PY'
import re, sys, zipfile
try:
    names = zipfile.ZipFile(sys.argv[1]).namelist()
except (OSError, zipfile.BadZipFile) as e:
    sys.exit(f"build-tcl9: no script library in {sys.argv[1]}: {e}")
need = [r"(^|/)init\.tcl$", r"(^|/)tcltest(/tcltest\.tcl|-[0-9.]+\.tm)$"]
missing = [n for n in need if not any(re.search(n, f) for f in names)]
if missing:
    sys.exit(f"build-tcl9: the script library in {sys.argv[1]} lacks {missing}")
PY
}

build_one() {  # system
  local sys=$1 dir name configure_args
  if [[ $sys == linux ]]; then
    dir=$TCL9_DIR; name="Linux Tcl 9"
  else
    dir=$WINTCL9_DIR; name="Windows Tcl 9"
  fi
  if cache_ok "$sys" "$dir"; then
    echo "$name: $dir (cached)"
    return 0
  fi

  mkdir -p "$(dirname "$dir")"
  dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
  local parent; parent=$(dirname "$dir")
  local base; base=$(basename "$dir")

  # The whole build runs in a subshell so that its lock, traps and scratch
  # folder end with it, and "all" can go on to the next system.
  (
    # Two builds at once (e.g. parallel CI steps) would race on the final move.
    exec 9>"$parent/.$base.lock"
    flock 9
    if cache_ok "$sys" "$dir"; then
      echo "$name: $dir (built by a concurrent run)"
      exit 0
    fi

    local tools=(make tar sha256sum flock gcc python3)
    [[ $sys == windows ]] && tools+=("$HOST-gcc")
    for tool in "${tools[@]}"; do
      command -v "$tool" >/dev/null || { echo "build-tcl9: '$tool' not found; run scripts/install-deps.sh" >&2; exit 1; }
    done
    local source
    source=$(find_source) || exit 1

    STAGE=$(mktemp -d "$parent/.$base-build.XXXXXX")
    LOG=$parent/$base-build.log
    : >"$LOG"
    cleanup() {
      local rc=$?
      if (( rc != 0 )); then
        echo "build-tcl9: $name failed (exit $rc); last lines of $LOG:" >&2
        tail -n 20 "$LOG" | cut -c1-300 >&2 || true
      fi
      rm -rf "$STAGE"
      # The Windows "make install" creates $prefix/lib directly, outside
      # INSTALL_ROOT; drop it again if this run did not finish (rmdir leaves
      # anything non-empty alone).
      if [[ ! -f $dir/$STAMP ]]; then
        rmdir "$dir/lib" "$dir" 2>/dev/null || true
      fi
    }
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    echo "build-tcl9: building $name in $STAGE (log: $LOG)"
    local start=$SECONDS

    # 1. Source, without the bundled packages (see the header).
    mkdir -p "$STAGE/src"
    tar -xzf "$source" -C "$STAGE/src" >>"$LOG" 2>&1
    local srcdir=$STAGE/src/tcl$PATCHLEVEL
    [[ -x $srcdir/unix/configure && -x $srcdir/win/configure ]] || { echo "build-tcl9: unpacked source has no configure" >&2; exit 1; }
    rm -rf "$srcdir/pkgs"
    mkdir -p "$srcdir/pkgs"

    # 2. Configure and build out of tree, so src/ stays a clean source tree.
    #    Threads are always on in Tcl 9.
    if [[ $sys == linux ]]; then
      configure_args=("$srcdir/unix/configure" --prefix="$dir")
    else
      configure_args=("$srcdir/win/configure" --host="$HOST" --enable-64bit --prefix="$dir")
    fi
    mkdir -p "$STAGE/obj"
    (
      cd "$STAGE/obj"
      "${configure_args[@]}"
      nice -n 5 make -j"$JOBS"
      make install INSTALL_ROOT="$STAGE/root"
    ) >>"$LOG" 2>&1

    # 3. Assemble: installed tree + source, with build-time paths in
    #    tclConfig.sh pointed at their final homes (obj/ is thrown away).
    local final=$STAGE/root$dir
    mv "$STAGE/src" "$final/src"
    for f in "$final"/lib/tclConfig.sh "$final"/lib/tclooConfig.sh; do
      [[ -f $f ]] || continue
      sed -i -e "s|$STAGE/src/|$dir/src/|g" -e "s|$STAGE/obj|$dir/lib|g" "$f"
    done
    if [[ $sys == linux ]]; then
      library_ok "$final/lib/libtcl9.0.so"
    else
      library_ok "$final/bin/tcl90.dll"
    fi

    # 4. Swap into place; anything left by an earlier broken run goes away.
    if [[ -e $dir ]]; then
      mv "$dir" "$STAGE/old"
    fi
    mv "$final" "$dir"

    # 5. The Linux tclsh must run from its final place (rpath, zipfs mount);
    #    only then is the tree marked complete. The Windows one needs Wine:
    #    WINE_TCLSH=.../tclsh90.exe scripts/wine-tclsh.sh (see its header).
    if [[ $sys == linux ]]; then
      local got
      got=$(echo 'puts [info patchlevel]/[package require tcltest]' | "$dir/bin/tclsh9.0" 2>&1) || true
      [[ $got == "$PATCHLEVEL"/* ]] || { echo "build-tcl9: $dir/bin/tclsh9.0 does not run: $got" >&2; exit 1; }
    fi
    touch "$dir/$STAMP"
    cache_ok "$sys" "$dir" || { echo "build-tcl9: installed $name tree is incomplete" >&2; exit 1; }
    echo "build-tcl9: $name built in $((SECONDS - start)) s"
    if [[ $sys == linux ]]; then
      echo "$name: $dir (tclsh: bin/tclsh9.0, stubs: lib/libtclstub.a, headers: include/)"
    else
      echo "$name: $dir (tclsh: bin/tclsh90.exe, stubs: lib/libtclstub.a, headers: include/)"
    fi
  )
}

for sys in "${SYSTEMS[@]}"; do
  build_one "$sys"
done
