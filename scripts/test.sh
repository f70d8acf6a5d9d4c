#!/usr/bin/env bash
# Builds Hostkit for Linux and Windows and runs every test:
#   1. GoogleTest units (Linux build)
#   2. Tcl suites, Linux build, system tclsh
#   3. Tcl suites, Windows build, Windows tclsh under Wine
#   4. The same for Tcl 9: Tcl 9.0.3 for both systems is built once
#      (scripts/build-tcl9.sh, cached in build/tcl9 and build-win/tcl9), the modules again against it (build-tcl9/tcl9Hostkit.so,
#      build-win-tcl9/tcl9Hostkit.dll); units and Tcl suites with tclsh9.0,
#      Windows suites with tclsh90.exe under Wine
#   5. Tcl suites and units again with AddressSanitizer/UndefinedBehaviorSanitizer
#   6. Independent checks of the Windows modules (version resource, exports, imports),
#      the Tcl 8 modules' stubs calls against Tcl 8.4's table, the build tools
#   7. Fuzz targets for a bounded time
# Ends with one summary line "N passed, N failed".
#
# Usage: scripts/test.sh [--no-install] [--quick]
#   --no-install  do not run scripts/install-deps.sh (done by default when root)
#   --quick       skip the sanitizer and fuzz stages
set -uo pipefail
# Nothing here reads standard input; a closed one (as under CI) would hand
# descriptor 0 to the first file or socket a server or test opens.
exec </dev/null
cd "$(dirname "$0")/.."
ROOT=$(pwd)

install=1; quick=0
for a in "$@"; do
  case "$a" in
    --no-install) install=0 ;;
    --quick) quick=1 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
  esac
done
if [ "$install" = 1 ] && [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh || { echo "installing packages failed" >&2; exit 1; }
fi

# No suite may hang the run: a normal one takes a minute or two.
SUITE_LIMIT=${HOSTKIT_SUITE_LIMIT:-900}
bounded() { timeout --kill-after=20 "$SUITE_LIMIT" "$@"; }

PASSED=0; FAILED=0; SKIPPED=0
declare -a FAILED_STAGES=()
LOGDIR=$ROOT/build/test-logs
mkdir -p "$LOGDIR"

note_stage() {  # name passed failed skipped
  PASSED=$((PASSED + $2)); FAILED=$((FAILED + $3)); SKIPPED=$((SKIPPED + ${4:-0}))
  [ "$3" -gt 0 ] && FAILED_STAGES+=("$1")
  printf '== %-28s passed %d, failed %d, skipped %d\n' "$1" "$2" "$3" "${4:-0}"
}
stage_error() {  # name message: a stage that could not run counts as one failure
  echo "== $1: $2" >&2
  note_stage "$1" 0 1 0
}

# Reads "hostkit-counts: passed P skipped S failed F" from a Tcl suite log.
tcl_counts() {  # name log rc
  local line
  line=$(grep -a '^hostkit-counts:' "$2" | tail -1 | tr -d '\r')
  if ! [[ "$line" =~ ^hostkit-counts:\ passed\ [0-9]+\ skipped\ [0-9]+\ failed\ [0-9]+$ ]]; then
    tail -30 "$2" >&2; stage_error "$1" "no summary (exit $3)"; return
  fi
  local log=$2
  set -- "$1" $line "$3"
  note_stage "$1" "$4" "$8" "$6"
  [ "$8" -gt 0 ] && grep -a -E '^==== .* FAILED|^---- ' "$log" | head -40 >&2
  return 0
}
gtest_counts() {  # name log rc
  local p f
  p=$(grep -a -oE '^\[  PASSED  \] [0-9]+' "$2" | grep -oE '[0-9]+$' | tail -1)
  f=$(grep -a -oE '^\[  FAILED  \] [0-9]+ test' "$2" | grep -oE '[0-9]+' | tail -1)
  [ -z "$p" ] && [ -z "$f" ] && { tail -30 "$2" >&2; stage_error "$1" "no summary (exit $3)"; return; }
  note_stage "$1" "${p:-0}" "${f:-0}" 0
  [ "${f:-0}" -gt 0 ] && grep -a '^\[  FAILED  \]' "$2" >&2
  return 0
}

# Slapd fixtures for the directory tests, if the suite has them.
if [ -x tests/ldap/servers.sh ]; then
  # shellcheck disable=SC1091
  trap 'tests/ldap/servers.sh stop >/dev/null 2>&1 || true; tests/ad/dc.sh stop >/dev/null 2>&1 || true' EXIT
fi

# ---- Linux build --------------------------------------------------------------
echo "== building Linux module"
if cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$LOGDIR/cmake-linux.log" 2>&1 \
   && cmake --build build -j2 >>"$LOGDIR/cmake-linux.log" 2>&1; then
  LINUX_OK=1
else
  LINUX_OK=0; tail -40 "$LOGDIR/cmake-linux.log" >&2; stage_error "Linux build" "failed"
fi

if [ -x tests/ldap/servers.sh ]; then
  tests/ldap/servers.sh start >"$LOGDIR/ldap-servers.log" 2>&1 || { cat "$LOGDIR/ldap-servers.log" >&2; stage_error "LDAP fixtures" "slapd did not start"; }
  [ -f build/ldap-fixture.env ] && { set -a; . build/ldap-fixture.env; set +a; }
fi

# ---- Windows build (before the Linux suites, which read the DLL's version too) --
echo "== building Windows Tcl (cached) and Windows module"
if bash scripts/build-wintcl.sh >"$LOGDIR/wintcl.log" 2>&1 \
   && cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DTCL_ROOT="$ROOT/build-win/wintcl" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$LOGDIR/cmake-win.log" 2>&1 \
   && cmake --build build-win -j2 >>"$LOGDIR/cmake-win.log" 2>&1; then
  WIN_OK=1
else
  WIN_OK=0; tail -40 "$LOGDIR/wintcl.log" "$LOGDIR/cmake-win.log" >&2 2>/dev/null; stage_error "Windows build" "failed"
fi

# ---- Tcl 9: interpreters (built once, then cached) and the Tcl 9 modules -------------
echo "== building Tcl 9 (cached) and the Tcl 9 modules"
tcl9_start=$SECONDS
if bash scripts/build-tcl9.sh linux >"$LOGDIR/tcl9-linux.log" 2>&1 \
   && cmake -S . -B build-tcl9 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTCL_ROOT="$ROOT/build/tcl9" \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$LOGDIR/cmake-linux-tcl9.log" 2>&1 \
   && cmake --build build-tcl9 -j2 >>"$LOGDIR/cmake-linux-tcl9.log" 2>&1; then
  LINUX9_OK=1
else
  LINUX9_OK=0; tail -40 "$LOGDIR/tcl9-linux.log" "$LOGDIR/cmake-linux-tcl9.log" >&2 2>/dev/null
  stage_error "Linux build (Tcl 9)" "failed"
fi
if bash scripts/build-tcl9.sh windows >"$LOGDIR/tcl9-windows.log" 2>&1 \
   && cmake -S . -B build-win-tcl9 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DTCL_ROOT="$ROOT/build-win/tcl9" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$LOGDIR/cmake-win-tcl9.log" 2>&1 \
   && cmake --build build-win-tcl9 -j2 >>"$LOGDIR/cmake-win-tcl9.log" 2>&1; then
  WIN9_OK=1
else
  WIN9_OK=0; tail -40 "$LOGDIR/tcl9-windows.log" "$LOGDIR/cmake-win-tcl9.log" >&2 2>/dev/null
  stage_error "Windows build (Tcl 9)" "failed"
fi
echo "== Tcl 9 interpreters and modules: $((SECONDS - tcl9_start)) s"

# ---- Linux suites ---------------------------------------------------------------
if [ "$LINUX_OK" = 1 ]; then
  bounded ./build/hostkit_unit >"$LOGDIR/unit.log" 2>&1; gtest_counts "units (Linux)" "$LOGDIR/unit.log" $?
  HOSTKIT_BUILD=$ROOT/build HOSTKIT_LIB=$ROOT/build/Hostkit.so HOSTKITTEST_LIB=$ROOT/build/HostkitTest.so \
    bounded tclsh8.6 tests/all.tcl >"$LOGDIR/tcl-linux.log" 2>&1
  tcl_counts "Tcl suites (Linux)" "$LOGDIR/tcl-linux.log" $?
fi

if [ "$LINUX9_OK" = 1 ]; then
  bounded ./build-tcl9/hostkit_unit >"$LOGDIR/unit-tcl9.log" 2>&1; gtest_counts "units (Linux, Tcl 9)" "$LOGDIR/unit-tcl9.log" $?
  HOSTKIT_BUILD=$ROOT/build-tcl9 HOSTKIT_LIB=$ROOT/build-tcl9/tcl9Hostkit.so \
    HOSTKITTEST_LIB=$ROOT/build-tcl9/HostkitTest.so \
    bounded "$ROOT/build/tcl9/bin/tclsh9.0" tests/all.tcl >"$LOGDIR/tcl-linux-tcl9.log" 2>&1
  tcl_counts "Tcl suites (Linux, Tcl 9)" "$LOGDIR/tcl-linux-tcl9.log" $?
fi

# ---- Active Directory fixture: Samba in a private network namespace --------------
if [ -x tests/ad/check.sh ]; then
  echo "== AD domain controller checks"
  bounded tests/ad/check.sh >"$LOGDIR/ad-check.log" 2>&1
  rc=$?
  line=$(grep -a -E '^[0-9]+ passed, [0-9]+ failed' "$LOGDIR/ad-check.log" | tail -1)
  if [[ "$line" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed(,\ ([0-9]+)\ skipped)?$ ]]; then
    note_stage "AD fixture checks" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[4]:-0}"
    [ "${BASH_REMATCH[2]}" -gt 0 ] && grep -a -E '^FAIL|skip:' "$LOGDIR/ad-check.log" >&2
    grep -a 'skip:' "$LOGDIR/ad-check.log" >&2
  else
    tail -30 "$LOGDIR/ad-check.log" >&2; stage_error "AD fixture checks" "no summary (exit $rc)"
  fi
fi

# The directory suite against the domain controller, with each build that was made.
if [ -x tests/ad/run.sh ]; then
  echo "== directory suite against the AD domain controller"
  ad_start=$SECONDS
  ad_suite() {  # stage log, then run.sh's words
    local name=$1 log=$2; shift 2
    bounded tests/ad/run.sh "$@" >"$log" 2>&1
    tcl_counts "$name" "$log" $?
  }
  [ "$LINUX_OK" = 1 ] && ad_suite "AD suite (Linux)" "$LOGDIR/ad-linux.log" \
    linux tclsh8.6 "$ROOT/build/Hostkit.so" "$ROOT/build/HostkitTest.so" "$ROOT/build"
  [ "$LINUX9_OK" = 1 ] && ad_suite "AD suite (Linux, Tcl 9)" "$LOGDIR/ad-linux-tcl9.log" \
    linux "$ROOT/build/tcl9/bin/tclsh9.0" "$ROOT/build-tcl9/tcl9Hostkit.so" \
    "$ROOT/build-tcl9/HostkitTest.so" "$ROOT/build-tcl9"
  [ "$WIN_OK" = 1 ] && ad_suite "AD suite (Windows, Wine)" "$LOGDIR/ad-wine.log" \
    wine "$ROOT/build-win/wintcl/bin/tclsh86.exe" "Z:$ROOT/build-win/Hostkit.dll" \
    "Z:$ROOT/build-win/HostkitTest.dll" "Z:$ROOT/build-win"
  [ "$WIN9_OK" = 1 ] && ad_suite "AD suite (Windows, Wine, Tcl 9)" "$LOGDIR/ad-wine-tcl9.log" \
    wine "$ROOT/build-win/tcl9/bin/tclsh90.exe" "Z:$ROOT/build-win-tcl9/tcl9Hostkit.dll" \
    "Z:$ROOT/build-win-tcl9/HostkitTest.dll" "Z:$ROOT/build-win-tcl9"
  echo "== AD checks and suites: $((SECONDS - ad_start)) s after the fixture checks"
fi

# ---- Windows suites under Wine ----------------------------------------------------
# Under Wine a console program that a test starts gets a console host
# (conhost.exe) that inherits the test interpreter's handles, its output pipe
# among them. When the program is ended early the host can stay behind,
# holding the pipe, and the runner would wait for ever although every test of
# the file has ended. No test program lives for minutes: a console host of
# this prefix older than two minutes is such a leftover and is ended; each
# one is listed in build/test-logs/wine-conhost.log and on the terminal.
WINE_PREFIX_DIR=${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}
conhost_reaper() {
  local pid age prefix
  while sleep 10; do
    for pid in $(pgrep -f 'conhost.exe --server' 2>/dev/null); do
      age=$(ps -o etimes= -p "$pid" 2>/dev/null | tr -d ' ')
      [ -n "$age" ] && [ "$age" -gt 120 ] || continue
      # Another prefix's host (where its environment names one) is left alone.
      prefix=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
      [ -z "$prefix" ] || [ "$prefix" = "$WINE_PREFIX_DIR" ] || continue
      echo "$(date +%T) ended console host $pid (${age} s old)" >>"$LOGDIR/wine-conhost.log"
      kill "$pid" 2>/dev/null
    done
  done
}
wine_suite() {  # log, then the command
  local log=$1 rc reaper; shift
  conhost_reaper & reaper=$!
  "$@" >"$log" 2>&1; rc=$?
  kill "$reaper" 2>/dev/null; wait "$reaper" 2>/dev/null
  return $rc
}
rm -f "$LOGDIR/wine-conhost.log"
report_conhosts() {
  [ -s "$LOGDIR/wine-conhost.log" ] && sed 's/^/== Wine: /' "$LOGDIR/wine-conhost.log"
  return 0
}

if [ "$WIN_OK" = 1 ]; then
  WZ="Z:$ROOT"
  # Wine takes its time zone from the environment of the wineserver that the
  # first Wine process starts: a zone with daylight saving lets the suite
  # check that file times are converted with the offset of the given date.
  WINEPREFIX="${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}" /usr/lib/wine/wineserver -k 2>/dev/null || true
  TZ=Europe/Berlin HOSTKIT_UNDER_WINE=1 HOSTKIT_BUILD="$WZ/build-win" HOSTKIT_LIB="$WZ/build-win/Hostkit.dll" \
    HOSTKITTEST_LIB="$WZ/build-win/HostkitTest.dll" \
    wine_suite "$LOGDIR/tcl-wine.log" bounded bash scripts/wine-tclsh.sh "$WZ/tests/all.tcl"
  tcl_counts "Tcl suites (Windows, Wine)" "$LOGDIR/tcl-wine.log" $?
  report_conhosts
  WINEPREFIX="${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}" /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/bin/python3 tests/winmodule_check.py build-win >"$LOGDIR/winmodule.log" 2>&1
  rc=$?; p=$(grep -c '^ok ' "$LOGDIR/winmodule.log"); f=$(grep -c '^not ok ' "$LOGDIR/winmodule.log")
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  note_stage "Windows module checks" "$p" "$f" 0
  [ "$f" -gt 0 ] && cat "$LOGDIR/winmodule.log" >&2
fi
if [ "$WIN9_OK" = 1 ]; then
  WZ="Z:$ROOT"
  WINEPREFIX="${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}" /usr/lib/wine/wineserver -k 2>/dev/null || true
  TZ=Europe/Berlin HOSTKIT_UNDER_WINE=1 HOSTKIT_BUILD="$WZ/build-win-tcl9" \
    HOSTKIT_LIB="$WZ/build-win-tcl9/tcl9Hostkit.dll" HOSTKITTEST_LIB="$WZ/build-win-tcl9/HostkitTest.dll" \
    WINE_TCLSH="$ROOT/build-win/tcl9/bin/tclsh90.exe" \
    wine_suite "$LOGDIR/tcl-wine-tcl9.log" bounded bash scripts/wine-tclsh.sh "$WZ/tests/all.tcl"
  tcl_counts "Tcl suites (Windows, Wine, Tcl 9)" "$LOGDIR/tcl-wine-tcl9.log" $?
  report_conhosts
  WINEPREFIX="${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}" /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/bin/python3 tests/winmodule_check.py build-win-tcl9 tcl9Hostkit.dll >"$LOGDIR/winmodule-tcl9.log" 2>&1
  rc=$?; p=$(grep -c '^ok ' "$LOGDIR/winmodule-tcl9.log"); f=$(grep -c '^not ok ' "$LOGDIR/winmodule-tcl9.log")
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  note_stage "Windows module checks (Tcl 9)" "$p" "$f" 0
  [ "$f" -gt 0 ] && cat "$LOGDIR/winmodule-tcl9.log" >&2
fi

# ---- Layers: includes point down only (doc/DESIGN.md) -------------------------------
/usr/bin/python3 scripts/check-layers.py >"$LOGDIR/layers.log" 2>&1
if [ $? = 0 ]; then note_stage "layers" 1 0 0; else cat "$LOGDIR/layers.log" >&2; note_stage "layers" 0 1 0; fi

# ---- Stubs check and the build tools' own tests -----------------------------------
# Every Tcl call of the Tcl 8 modules must be in Tcl 8.4's stubs table
# (scripts/tcl84-stubs.txt); the Tcl 9 modules need Tcl 9 anyway.
if [ "$LINUX_OK" = 1 ]; then
  mods=(build/Hostkit.so)
  [ "$WIN_OK" = 1 ] && mods+=(build-win/Hostkit.dll)
  /usr/bin/python3 scripts/check-stubs.py "${mods[@]}" >"$LOGDIR/stubs.log" 2>&1
  rc=$?; p=$(grep -c '^ok ' "$LOGDIR/stubs.log"); f=$(grep -c '^FAIL ' "$LOGDIR/stubs.log")
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  note_stage "stubs (Tcl 8.4 table)" "$p" "$f" 0
  [ "$f" -gt 0 ] && cat "$LOGDIR/stubs.log" >&2
fi
# Tests of scripts/check-stubs.py, build-tcl9.sh and wine-tclsh.sh; those that
# need a Tcl 9 build are skipped unless scripts/build-tcl9.sh has made one.
bounded /usr/bin/python3 -m unittest discover -s tests/tools -v >"$LOGDIR/tools.log" 2>&1
rc=$?
p=$(grep -c -E ' \.\.\. ok$' "$LOGDIR/tools.log"); f=$(grep -c -E ' \.\.\. (FAIL|ERROR)$' "$LOGDIR/tools.log")
sk=$(grep -c -E ' \.\.\. skipped ' "$LOGDIR/tools.log")
[ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
note_stage "build tools" "$p" "$f" "$sk"
[ "$f" -gt 0 ] && tail -60 "$LOGDIR/tools.log" >&2

# ---- Sanitizers -----------------------------------------------------------------
if [ "$quick" = 0 ]; then
  echo "== building sanitized Linux module"
  if cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DHOSTKIT_SANITIZE=ON >"$LOGDIR/cmake-asan.log" 2>&1 \
     && cmake --build build-asan -j2 >>"$LOGDIR/cmake-asan.log" 2>&1; then
    ASAN_RT=$(g++ -print-file-name=libasan.so)
    UBSAN_RT=$(g++ -print-file-name=libubsan.so)
    # Tcl itself keeps memory to the end on purpose: leak checks belong to the units and fuzzers.
    bounded env LD_PRELOAD="$ASAN_RT $UBSAN_RT" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      HOSTKIT_BUILD=$ROOT/build-asan HOSTKIT_LIB=$ROOT/build-asan/Hostkit.so \
      HOSTKITTEST_LIB=$ROOT/build-asan/HostkitTest.so HOSTKIT_SANITIZED=1 \
      tclsh8.6 tests/all.tcl >"$LOGDIR/tcl-asan.log" 2>&1
    tcl_counts "Tcl suites (sanitizers)" "$LOGDIR/tcl-asan.log" $?
    if grep -a -q -E 'ERROR: AddressSanitizer|runtime error:' "$LOGDIR/tcl-asan.log"; then
      grep -a -A20 -E 'ERROR: AddressSanitizer|runtime error:' "$LOGDIR/tcl-asan.log" | head -60 >&2
      stage_error "sanitizer reports" "see above"
    fi
  else
    tail -40 "$LOGDIR/cmake-asan.log" >&2; stage_error "sanitizer build" "failed"
  fi

  if [ -f cmake/fuzz.cmake ]; then
    echo "== building and running fuzz targets"
    if cmake -S . -B build-fuzz -DHOSTKIT_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         >"$LOGDIR/cmake-fuzz.log" 2>&1 && cmake --build build-fuzz -j2 >>"$LOGDIR/cmake-fuzz.log" 2>&1; then
      for fz in build-fuzz/fuzz_*; do
        [ -x "$fz" ] || continue
        name=$(basename "$fz"); corpus=tests/fuzz/corpus/${name#fuzz_}
        work=$(mktemp -d); mkdir -p "$corpus"
        if "$fz" -max_total_time=15 -rss_limit_mb=1024 -timeout=10 "$work" "$corpus" >"$LOGDIR/$name.log" 2>&1; then
          note_stage "fuzz $name" 1 0 0
        else
          tail -30 "$LOGDIR/$name.log" >&2; note_stage "fuzz $name" 0 1 0
        fi
        rm -rf "$work"
      done
    else
      tail -40 "$LOGDIR/cmake-fuzz.log" >&2; stage_error "fuzz build" "failed"
    fi
  fi
fi

echo
if [ "${#FAILED_STAGES[@]}" -gt 0 ]; then
  echo "failing stages: ${FAILED_STAGES[*]} (logs in build/test-logs)"
fi
echo "hostkit: $PASSED passed, $FAILED failed, $SKIPPED skipped"
[ "$FAILED" = 0 ]
