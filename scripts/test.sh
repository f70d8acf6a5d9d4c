#!/usr/bin/env bash
# Builds Hostkit for Linux and Windows, for Tcl 8 and Tcl 9, and runs every test:
#   1. the four builds: build/ (Linux, Tcl 8.6), build-win/ (Windows, Tcl 8.6
#      built by scripts/build-wintcl.sh), build-tcl9/ and build-win-tcl9/ (Tcl
#      9.0.3 built once by scripts/build-tcl9.sh, cached in build/tcl9 and
#      build-win/tcl9)
#   2. GoogleTest units and Tcl suites of each Linux build (tclsh8.6, tclsh9.0)
#   3. the Active Directory fixture's checks and the directory suite against it
#      with every build
#   4. Tcl suites of each Windows build under Wine (tclsh86.exe, tclsh90.exe),
#      and independent checks of the Windows modules (version resource,
#      exports, imports)
#   5. include layers, the Tcl 8 modules' stubs calls against Tcl 8.4's table,
#      the build tools' own tests
#   6. Tcl suites with AddressSanitizer/UndefinedBehaviorSanitizer, and the
#      fuzz targets for a bounded time
# Every stage adds its counts; the last line is
#   hostkit: N passed, N failed, N skipped
# and the exit status is 0 only when nothing failed. A stage that cannot run
# (a build, a fixture that does not start, a suite without its summary)
# counts as one failure. Logs: build/test-logs/.
#
# Usage: scripts/test.sh [--no-install] [--quick]
#   --no-install  do not run scripts/install-deps.sh (done by default when root)
#   --quick       skip the sanitizer and fuzz stages
# HOSTKIT_SUITE_LIMIT: seconds any one suite may take (default 900).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
ROOT=$(pwd)
LOGDIR=$ROOT/build/test-logs
WINE_PREFIX_DIR=${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}

# ---- Counting -------------------------------------------------------------------

PASSED=0; FAILED=0; SKIPPED=0
FAILED_STAGES=()

note_stage() {  # name passed failed skipped
  PASSED=$((PASSED + $2)); FAILED=$((FAILED + $3)); SKIPPED=$((SKIPPED + ${4:-0}))
  if [ "$3" -gt 0 ]; then FAILED_STAGES+=("$1"); fi
  printf '== %-34s passed %d, failed %d, skipped %d\n' "$1" "$2" "$3" "${4:-0}"
}
stage_error() {  # name message: a stage that could not run counts as one failure
  echo "== $1: $2" >&2
  note_stage "$1" 0 1 0
}

# No suite may hang the run: a normal one takes a minute or two.
bounded() { timeout --kill-after=20 "${HOSTKIT_SUITE_LIMIT:-900}" "$@"; }

# The counts of a Tcl suite: its runner's last "hostkit-counts: passed P
# skipped S failed F" line (tests/all.tcl).
tcl_counts() {  # name log exit-status
  local line
  line=$(grep -a '^hostkit-counts:' "$2" | tail -1 | tr -d '\r')
  if ! [[ $line =~ ^hostkit-counts:\ passed\ ([0-9]+)\ skipped\ ([0-9]+)\ failed\ ([0-9]+)$ ]]; then
    tail -30 "$2" >&2; stage_error "$1" "no summary (exit $3)"; return
  fi
  note_stage "$1" "${BASH_REMATCH[1]}" "${BASH_REMATCH[3]}" "${BASH_REMATCH[2]}"
  if [ "${BASH_REMATCH[3]}" -gt 0 ]; then
    grep -a -E '^==== .* FAILED|^---- |^capture files left' "$2" | head -40 >&2
  fi
}

# The counts of a GoogleTest run: its "[  PASSED  ] N" and "[  FAILED  ] N" lines.
gtest_counts() {  # name log exit-status
  local p f
  p=$(grep -a -oE '^\[  PASSED  \] [0-9]+' "$2" | grep -oE '[0-9]+$' | tail -1)
  f=$(grep -a -oE '^\[  FAILED  \] [0-9]+ test' "$2" | grep -oE '[0-9]+' | tail -1)
  if [ -z "$p" ] && [ -z "$f" ]; then
    tail -30 "$2" >&2; stage_error "$1" "no summary (exit $3)"; return
  fi
  if [ "$3" != 0 ] && [ "${f:-0}" = 0 ]; then f=1; fi
  note_stage "$1" "${p:-0}" "${f:-0}" 0
  if [ "${f:-0}" -gt 0 ]; then grep -a '^\[  FAILED  \]' "$2" >&2; fi
}

# A check that passes or fails as a whole, by its exit status.
exit_counts() {  # name log exit-status
  if [ "$3" = 0 ]; then note_stage "$1" 1 0 0; else cat "$2" >&2; note_stage "$1" 0 1 0; fi
}

# The counts of a check that writes one line per case: lines matching the
# pass, fail and skip patterns. A failing exit with no failed line is one failure.
line_counts() {  # name log exit-status pass-pattern fail-pattern [skip-pattern]
  local p f s=0
  p=$(grep -a -c -E "$4" "$2"); f=$(grep -a -c -E "$5" "$2")
  if [ -n "${6:-}" ]; then s=$(grep -a -c -E "$6" "$2"); fi
  if [ "$3" != 0 ] && [ "$f" = 0 ]; then f=1; fi
  note_stage "$1" "$p" "$f" "$s"
  if [ "$f" -gt 0 ]; then tail -60 "$2" >&2; fi
}

# The run's last lines; true when nothing failed.
summary() {
  echo
  if [ "${#FAILED_STAGES[@]}" -gt 0 ]; then
    echo "failing stages: ${FAILED_STAGES[*]} (logs in build/test-logs)"
  fi
  echo "hostkit: $PASSED passed, $FAILED failed, $SKIPPED skipped"
  [ "$FAILED" = 0 ]
}

# ---- Stages -----------------------------------------------------------------------

# Runs what a build needs first (an interpreter of its own); its failure is
# the build's.
prepare() {  # build-name log command...
  local name=$1 log=$LOGDIR/$2; shift 2
  if "$@" >"$log" 2>&1; then return 0; fi
  tail -40 "$log" >&2; stage_error "$name" "failed (see $log)"; return 1
}

# Configures and builds one folder; true when the build is there.
build() {  # name folder log cmake-words...
  local name=$1 dir=$2 log=$LOGDIR/$3; shift 3
  echo "== $name: $dir/"
  if cmake -S . -B "$dir" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >"$log" 2>&1 \
     && cmake --build "$dir" -j2 >>"$log" 2>&1; then
    return 0
  fi
  tail -40 "$log" >&2; stage_error "$name" "failed (see $log)"; return 1
}

# The GoogleTest units of a Linux build.
units() {  # name folder log
  bounded "./$2/hostkit_unit" >"$LOGDIR/$3" 2>&1
  gtest_counts "$1" "$LOGDIR/$3" $?
}

# The Tcl suites with a Linux build; words after the log are
# variables for the run (NAME=value).
linux_suites() {  # name folder tclsh module log [NAME=value ...]
  local name=$1 dir=$ROOT/$2 tclsh=$3 module=$4 log=$LOGDIR/$5; shift 5
  bounded env HOSTKIT_BUILD="$dir" HOSTKIT_LIB="$dir/$module" HOSTKITTEST_LIB="$dir/HostkitTest.so" \
    "$@" "$tclsh" tests/all.tcl >"$log" 2>&1
  tcl_counts "$name" "$log" $?
}

# The Tcl suites with a Windows build under Wine. Wine takes its time zone
# from the environment of the wineserver that the first Wine process starts:
# a zone with daylight saving lets the suite check that file times are
# converted with the offset of the given date. So each run starts its own
# wineserver, and ends it after.
wine_suites() {  # name folder tclsh.exe module log
  local name=$1 dir=Z:$ROOT/$2 tclsh=$3 module=$4 log=$LOGDIR/$5 rc
  stop_wineserver
  TZ=Europe/Berlin HOSTKIT_UNDER_WINE=1 HOSTKIT_BUILD="$dir" HOSTKIT_LIB="$dir/$module" \
    HOSTKITTEST_LIB="$dir/HostkitTest.dll" WINE_TCLSH="$tclsh" \
    with_conhost_reaper bounded bash scripts/wine-tclsh.sh "Z:$ROOT/tests/all.tcl" >"$log" 2>&1
  rc=$?
  tcl_counts "$name" "$log" $rc
  report_conhosts
  stop_wineserver
}
stop_wineserver() {
  WINEPREFIX=$WINE_PREFIX_DIR /usr/lib/wine/wineserver -k 2>/dev/null || true
}

# Under Wine a console program that a test starts gets a console host
# (conhost.exe) that inherits the test interpreter's handles, its output pipe
# among them. When the program is ended early the host can stay behind,
# holding the pipe, and the runner would wait for ever although every test of
# the file has ended. No test program lives for minutes: a console host of
# this prefix older than two minutes is such a leftover and is ended; each
# one is listed in build/test-logs/wine-conhost.log and on the terminal.
conhost_reaper() {
  local pid age prefix
  while sleep 10; do
    for pid in $(pgrep -f 'conhost.exe --server' 2>/dev/null); do
      age=$(ps -o etimes= -p "$pid" 2>/dev/null | tr -d ' ')
      if [ -z "$age" ] || [ "$age" -le 120 ]; then continue; fi
      # Another prefix's host (where its environment names one) is left alone.
      prefix=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
      [ -z "$prefix" ] || [ "$prefix" = "$WINE_PREFIX_DIR" ] || continue
      echo "$(date +%T) ended console host $pid (${age} s old)" >>"$LOGDIR/wine-conhost.log"
      kill "$pid" 2>/dev/null
    done
  done
}
with_conhost_reaper() {  # command...
  local rc reaper
  conhost_reaper & reaper=$!
  "$@"; rc=$?
  kill "$reaper" 2>/dev/null; wait "$reaper" 2>/dev/null
  return $rc
}
report_conhosts() {
  if [ -s "$LOGDIR/wine-conhost.log" ]; then sed 's/^/== Wine: /' "$LOGDIR/wine-conhost.log"; fi
  return 0
}

# The Windows module read by an independent PE reader.
windows_module_check() {  # name folder module log
  /usr/bin/python3 tests/winmodule_check.py "$2" "$3" >"$LOGDIR/$4" 2>&1
  line_counts "$1" "$LOGDIR/$4" $? '^ok ' '^not ok '
}

# The checks of the Active Directory fixture, with OpenLDAP's clients.
ad_checks() {
  local log=$LOGDIR/ad-check.log rc line
  echo "== AD domain controller checks"
  bounded tests/ad/check.sh >"$log" 2>&1
  rc=$?
  line=$(grep -a -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
  if ! [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed(,\ ([0-9]+)\ skipped)?$ ]]; then
    tail -30 "$log" >&2; stage_error "AD fixture checks" "no summary (exit $rc)"; return
  fi
  note_stage "AD fixture checks" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[4]:-0}"
  if [ "${BASH_REMATCH[2]}" -gt 0 ]; then grep -a -E '^FAIL' "$log" >&2; fi
  grep -a 'skip:' "$log" >&2
}

# The directory suite against the domain controller with one build
# (tests/ad/run.sh's words: linux|wine TCLSH MODULE TESTMODULE BUILD).
ad_suite() {  # name log run.sh-words...
  local name=$1 log=$LOGDIR/$2; shift 2
  bounded tests/ad/run.sh "$@" >"$log" 2>&1
  tcl_counts "$name" "$log" $?
}

# The Tcl suites again, with a module built with the sanitizers. Tcl itself
# keeps memory to the end on purpose: leak checks belong to the units and
# fuzzers.
sanitizer_suites() {
  local log=$LOGDIR/tcl-asan.log
  build "sanitizer build" build-asan cmake-asan.log -DCMAKE_BUILD_TYPE=Debug -DHOSTKIT_SANITIZE=ON || return
  linux_suites "Tcl suites (sanitizers)" build-asan tclsh8.6 Hostkit.so tcl-asan.log \
    LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)" \
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    HOSTKIT_SANITIZED=1
  if grep -a -q -E 'ERROR: AddressSanitizer|runtime error:' "$log"; then
    grep -a -A20 -E 'ERROR: AddressSanitizer|runtime error:' "$log" | head -60 >&2
    stage_error "sanitizer reports" "see above"
  fi
}

# Each fuzz target for 15 seconds, from its corpus.
fuzzers() {
  local fz name corpus work
  build "fuzz build" build-fuzz cmake-fuzz.log -DHOSTKIT_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || return
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
}

# ---- The run ---------------------------------------------------------------------

main() {
  local install=1 quick=0 a
  # Nothing here reads standard input; a closed one (as under CI) would hand
  # descriptor 0 to the first file or socket a server or test opens.
  exec </dev/null
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
  mkdir -p "$LOGDIR"
  rm -f "$LOGDIR/wine-conhost.log"

  local LINUX=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  local WINDOWS=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release)
  local TCLSH9=$ROOT/build/tcl9/bin/tclsh9.0 TCLSH86_EXE=$ROOT/build-win/wintcl/bin/tclsh86.exe
  local TCLSH90_EXE=$ROOT/build-win/tcl9/bin/tclsh90.exe
  local linux=0 windows=0 linux9=0 windows9=0

  build "Linux build" build cmake-linux.log "${LINUX[@]}" && linux=1

  # The slapd fixtures for the directory tests, for the whole run.
  trap 'tests/ldap/servers.sh stop >/dev/null 2>&1 || true; tests/ad/dc.sh stop >/dev/null 2>&1 || true' EXIT
  if tests/ldap/servers.sh start >"$LOGDIR/ldap-servers.log" 2>&1; then
    set -a; . "${HOSTKIT_LDAP_DIR:-build/ldap}/fixture.env"; set +a
    # What the servers and the scripted one do, seen with OpenLDAP's clients.
    bounded tests/ldap/check.sh >"$LOGDIR/ldap-check.log" 2>&1
    line_counts "LDAP fixture checks" "$LOGDIR/ldap-check.log" $? '^ok ' '^FAIL '
  else
    cat "$LOGDIR/ldap-servers.log" >&2; stage_error "LDAP fixtures" "slapd did not start"
  fi

  # The Windows build before the Linux suites, which read the DLL's version too.
  prepare "Windows build" wintcl.log bash scripts/build-wintcl.sh \
    && build "Windows build" build-win cmake-win.log "${WINDOWS[@]}" -DTCL_ROOT="$ROOT/build-win/wintcl" \
    && windows=1
  local tcl9_start=$SECONDS
  prepare "Linux build (Tcl 9)" tcl9-linux.log bash scripts/build-tcl9.sh linux \
    && build "Linux build (Tcl 9)" build-tcl9 cmake-linux-tcl9.log "${LINUX[@]}" -DTCL_ROOT="$ROOT/build/tcl9" \
    && linux9=1
  prepare "Windows build (Tcl 9)" tcl9-windows.log bash scripts/build-tcl9.sh windows \
    && build "Windows build (Tcl 9)" build-win-tcl9 cmake-win-tcl9.log "${WINDOWS[@]}" -DTCL_ROOT="$ROOT/build-win/tcl9" \
    && windows9=1
  echo "== Tcl 9 interpreters and modules: $((SECONDS - tcl9_start)) s"

  if [ "$linux" = 1 ]; then
    units "units (Linux)" build unit.log
    linux_suites "Tcl suites (Linux)" build tclsh8.6 Hostkit.so tcl-linux.log
  fi
  if [ "$linux9" = 1 ]; then
    units "units (Linux, Tcl 9)" build-tcl9 unit-tcl9.log
    linux_suites "Tcl suites (Linux, Tcl 9)" build-tcl9 "$TCLSH9" tcl9Hostkit.so tcl-linux-tcl9.log
  fi

  # Samba's AD domain controller in a private network namespace.
  local ad_start=$SECONDS
  ad_checks
  echo "== directory suite against the AD domain controller"
  if [ "$linux" = 1 ]; then
    ad_suite "AD suite (Linux)" ad-linux.log \
      linux tclsh8.6 "$ROOT/build/Hostkit.so" "$ROOT/build/HostkitTest.so" "$ROOT/build"
  fi
  if [ "$linux9" = 1 ]; then
    ad_suite "AD suite (Linux, Tcl 9)" ad-linux-tcl9.log \
      linux "$TCLSH9" "$ROOT/build-tcl9/tcl9Hostkit.so" "$ROOT/build-tcl9/HostkitTest.so" "$ROOT/build-tcl9"
  fi
  if [ "$windows" = 1 ]; then
    ad_suite "AD suite (Windows, Wine)" ad-wine.log \
      wine "$TCLSH86_EXE" "Z:$ROOT/build-win/Hostkit.dll" "Z:$ROOT/build-win/HostkitTest.dll" "Z:$ROOT/build-win"
  fi
  if [ "$windows9" = 1 ]; then
    ad_suite "AD suite (Windows, Wine, Tcl 9)" ad-wine-tcl9.log \
      wine "$TCLSH90_EXE" "Z:$ROOT/build-win-tcl9/tcl9Hostkit.dll" "Z:$ROOT/build-win-tcl9/HostkitTest.dll" \
      "Z:$ROOT/build-win-tcl9"
  fi
  echo "== AD checks and suites: $((SECONDS - ad_start)) s"

  if [ "$windows" = 1 ]; then
    wine_suites "Tcl suites (Windows, Wine)" build-win "$TCLSH86_EXE" Hostkit.dll tcl-wine.log
    windows_module_check "Windows module checks" build-win Hostkit.dll winmodule.log
  fi
  if [ "$windows9" = 1 ]; then
    wine_suites "Tcl suites (Windows, Wine, Tcl 9)" build-win-tcl9 "$TCLSH90_EXE" tcl9Hostkit.dll tcl-wine-tcl9.log
    windows_module_check "Windows module checks (Tcl 9)" build-win-tcl9 tcl9Hostkit.dll winmodule-tcl9.log
  fi

  # Includes point down only (doc/DESIGN.md).
  /usr/bin/python3 scripts/check-layers.py >"$LOGDIR/layers.log" 2>&1
  exit_counts "layers" "$LOGDIR/layers.log" $?

  # Every Tcl call of the Tcl 8 modules must be in Tcl 8.4's stubs table
  # (scripts/tcl84-stubs.txt); the Tcl 9 modules need Tcl 9 anyway.
  if [ "$linux" = 1 ]; then
    local mods=(build/Hostkit.so)
    if [ "$windows" = 1 ]; then mods+=(build-win/Hostkit.dll); fi
    /usr/bin/python3 scripts/check-stubs.py "${mods[@]}" >"$LOGDIR/stubs.log" 2>&1
    line_counts "stubs (Tcl 8.4 table)" "$LOGDIR/stubs.log" $? '^ok ' '^FAIL '
  fi
  # Tests of the build tools; those that need a build missing here are skipped.
  bounded /usr/bin/python3 -m unittest discover -s tests/tools -v >"$LOGDIR/tools.log" 2>&1
  line_counts "build tools" "$LOGDIR/tools.log" $? ' \.\.\. ok$' ' \.\.\. (FAIL|ERROR)$' ' \.\.\. skipped '

  if [ "$quick" = 0 ]; then
    sanitizer_suites
    fuzzers
  fi

  summary
}

# Sourced (by the tests of this runner), it only defines the functions above.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
