#!/usr/bin/env bash
# Runs a Windows tclsh under Wine, passing arguments, stdin, stdout, stderr and
# the exit code through. By default the tclsh86.exe built by
# scripts/build-wintcl.sh; WINE_TCLSH picks another, e.g. the Tcl 9 one that
# scripts/build-tcl9.sh windows builds.
#
#   scripts/wine-tclsh.sh script.tcl arg...      # like tclsh
#   echo 'puts hi' | scripts/wine-tclsh.sh
#   WINE_TCLSH=$PWD/build-win/tcl9/bin/tclsh90.exe scripts/wine-tclsh.sh script.tcl
#
# Environment:
#   HOSTKIT_WINEPREFIX  Wine prefix to use (default build-win/wineprefix); made on first use
#   WINTCL_DIR          Windows Tcl 8.6 install (default build-win/wintcl); built if missing
#   WINE_TCLSH          the Windows tclsh to run (Unix path; default
#                       $WINTCL_DIR/bin/tclsh86.exe). The DLLs it needs (tcl90.dll,
#                       libtommath.dll, zlib1.dll ...) must sit beside it, as in an
#                       installed Tcl's bin folder. The Tcl 9 one from
#                       build-win/tcl9 is built if missing; any other must exist.
#
# Notes for callers:
#   - The Windows tclsh writes CRLF line ends to stdout/stderr (translation auto),
#     and its system encoding is cp1252 (Tcl 9's too: Wine's ANSI code page, which
#     the tclsh90.exe manifest does not change): non-ASCII text in argv and on the
#     std channels is cp1252, not UTF-8.
#   - Unix paths work inside tclsh as long as the current directory is on Z:
#     (the case when started from a Unix folder): /a/b means Z:/a/b.
#   - A Unix pipe or socket on stdin is fed through a small relay program,
#     because Wine gives such handles to Windows programs unconverted and
#     PeekNamedPipe() on them fails, which makes Tcl report "no such device".
# Runs headless: DISPLAY is dropped, so Wine never tries to reach an X server.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINTCL_DIR=${WINTCL_DIR:-$ROOT/build-win/wintcl}
TOOLS_DIR=$ROOT/build-win/tools
export WINEPREFIX=${HOSTKIT_WINEPREFIX:-$ROOT/build-win/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

die() { echo "wine-tclsh: $*" >&2; exit 125; }

# Debian's /usr/bin/wine is a shell wrapper that warns about the missing wine32;
# the 64-bit loader is all a 64-bit tclsh needs.
if [[ -x /usr/lib/wine/wine64 ]]; then
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
else
  WINE=$(command -v wine64 || command -v wine) || die "wine not found; run scripts/install-deps.sh"
fi
if [[ -x /usr/lib/wine/wineserver ]]; then
  WINESERVER=/usr/lib/wine/wineserver
else
  WINESERVER=$(command -v wineserver) || die "wineserver not found"
fi

if [[ -z ${WINE_TCLSH:-} ]]; then
  TCLSH=$WINTCL_DIR/bin/tclsh86.exe
  TCLSH_BIN=$WINTCL_DIR/bin
  if [[ ! -f $TCLSH ]]; then
    "$ROOT/scripts/build-wintcl.sh" >&2 || die "could not build the Windows Tcl"
  fi
else
  [[ $WINE_TCLSH == /* ]] || WINE_TCLSH=$PWD/$WINE_TCLSH
  TCLSH=$WINE_TCLSH
  if [[ ! -f $TCLSH && $TCLSH == "$ROOT/build-win/tcl9/bin/tclsh90.exe" ]]; then
    "$ROOT/scripts/build-tcl9.sh" windows >&2 || die "could not build the Windows Tcl 9"
  fi
  [[ -f $TCLSH ]] || die "WINE_TCLSH: no such file: $TCLSH"
  TCLSH_BIN=$(dirname "$TCLSH")
fi

# Z:\ is Wine's view of the Unix root.
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# Search path for DLLs of programs started from tclsh (tcl86.dll, zlib1.dll;
# tcl90.dll, libtommath.dll for Tcl 9): the chosen tclsh's own folder.
WINEPATH="$(winpath "$TCLSH_BIN")${WINEPATH:+;$WINEPATH}"
export WINEPATH

# One-time prefix set-up, serialised with a lock so parallel callers wait for
# the first one. The prefix is booted under a scratch name and renamed when
# complete: a wineboot cut short leaves a prefix that a later boot does not
# finish (it trusts the .update-timestamp written early on). A folder that is
# already there without our mark is taken to be a prefix of the caller's own
# and used as it is.
make_prefix() {
  local tmp log=$WINEPREFIX.init.log stale
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 8>"$WINEPREFIX.lock"
  flock 8
  if [[ -e $WINEPREFIX ]]; then exec 8>&-; return; fi
  for stale in "$WINEPREFIX".tmp.*; do
    [[ -d $stale ]] || continue
    WINEPREFIX=$stale "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$stale"
  done
  echo "wine-tclsh: setting up Wine prefix $WINEPREFIX (once, ~15 s)" >&2
  tmp=$(mktemp -d "$WINEPREFIX.tmp.XXXXXX")
  trap 'WINEPREFIX=$tmp "$WINESERVER" -k >/dev/null 2>&1; rm -rf "$tmp"' EXIT
  if ! { WINEPREFIX=$tmp "$WINE" wineboot -i && WINEPREFIX=$tmp "$WINESERVER" -w; } >"$log" 2>&1 \
      || [[ ! -d $tmp/drive_c/windows ]]; then
    tail -n 20 "$log" >&2
    die "Wine prefix set-up failed (log: $log)"
  fi
  touch "$tmp/.hostkit-ready"
  mv "$tmp" "$WINEPREFIX"
  trap - EXIT
  exec 8>&-
}
[[ -e $WINEPREFIX ]] || make_prefix

# stdin relay (see notes above); built once with mingw-w64, rebuilt when the
# source below changes.
build_relay() {
  local src=$TOOLS_DIR/stdin-relay.c exe=$TOOLS_DIR/stdin-relay.exe tmp
  mkdir -p "$TOOLS_DIR"
  tmp=$(mktemp "$TOOLS_DIR/.relay.XXXXXX")
  cat >"$tmp.c" <<'EOF'
/* Runs a Windows program with stdin fed through a Win32 anonymous pipe, so
 * that PeekNamedPipe() works on it. Usage: stdin-relay.exe PROGRAM [ARGS...];
 * the rest of this program's command line is handed to CreateProcess as is.
 * Exits with the program's exit code. */
#include <windows.h>

static HANDLE in, pipe_w;

static DWORD WINAPI pump(LPVOID unused) {
    char buf[65536];
    DWORD n, w, off;
    (void)unused;
    while (ReadFile(in, buf, sizeof buf, &n, NULL) && n > 0)
        for (off = 0; off < n; off += w)
            if (!WriteFile(pipe_w, buf + off, n - off, &w, NULL)) goto done;
done:
    CloseHandle(pipe_w);
    return 0;
}

static HANDLE inheritable(HANDLE h) {
    HANDLE d;
    if (h == NULL || h == INVALID_HANDLE_VALUE) return h;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &d, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) return h;
    return d;
}

static void say(const char *msg) {
    DWORD w;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), msg, lstrlenA(msg), &w, NULL);
}

int main(void) {
    wchar_t *cmd = GetCommandLineW();
    SECURITY_ATTRIBUTES sa = { sizeof sa, NULL, TRUE };
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    HANDLE pipe_r;
    DWORD code = 1;
    char msg[96];

    if (*cmd == L'"') { for (cmd++; *cmd && *cmd != L'"'; cmd++) ; if (*cmd) cmd++; }
    else while (*cmd && *cmd != L' ' && *cmd != L'\t') cmd++;
    while (*cmd == L' ' || *cmd == L'\t') cmd++;
    if (!*cmd) { say("usage: stdin-relay.exe PROGRAM [ARGS...]\r\n"); return 125; }

    in = GetStdHandle(STD_INPUT_HANDLE);
    if (!CreatePipe(&pipe_r, &pipe_w, &sa, 0)) { say("stdin-relay: CreatePipe failed\r\n"); return 125; }
    SetHandleInformation(pipe_w, HANDLE_FLAG_INHERIT, 0);

    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = pipe_r;
    si.hStdOutput = inheritable(GetStdHandle(STD_OUTPUT_HANDLE));
    si.hStdError = inheritable(GetStdHandle(STD_ERROR_HANDLE));
    if (!CreateProcessW(NULL, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        wsprintfA(msg, "stdin-relay: cannot start program (error %lu)\r\n", GetLastError());
        say(msg);
        return 126;
    }
    CloseHandle(pipe_r);
    CloseHandle(pi.hThread);
    CloseHandle(CreateThread(NULL, 0, pump, NULL, 0, NULL));
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    ExitProcess(code);
}
EOF
  if [[ -f $exe && -f $src ]] && cmp -s "$tmp.c" "$src"; then
    rm -f "$tmp" "$tmp.c"
    return
  fi
  x86_64-w64-mingw32-gcc -O2 -Wall -o "$tmp.exe" "$tmp.c" || { rm -f "$tmp" "$tmp.c" "$tmp.exe"; die "could not build $exe"; }
  mv -f "$tmp.exe" "$exe"
  mv -f "$tmp.c" "$src"
  rm -f "$tmp"
}

[[ -e /dev/stdin ]] || exec </dev/null   # a closed fd 0 would give tclsh an unusable stdin
if [[ -p /dev/stdin || -S /dev/stdin ]]; then
  build_relay
  exec "$WINE" "$TOOLS_DIR/stdin-relay.exe" "$(winpath "$TCLSH")" "$@"
fi
exec "$WINE" "$TCLSH" "$@"
