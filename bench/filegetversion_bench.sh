#!/usr/bin/env bash
# filegetversion on Linux reads only the headers, the section table, the
# resource directory and the version resource of a file, never the whole
# file: a 200 MB PE file must be answered about as fast as a 20 KB one.
#
# Makes both PE files with mingw-w64 (the large one's 200 MB sit in a
# section before the resources, so a reader that went through the file
# would read them all), then times filegetversion on the two side by side in
# one tclsh run and counts the bytes each call reads (/proc/self/io). Fails
# when the large file takes more than twice as long as the small one.
#
# Usage: bench/filegetversion_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
WORK=$(mktemp -d /tmp/hostkit-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

CC=x86_64-w64-mingw32-gcc
RC=x86_64-w64-mingw32-windres
$RC "$ROOT/tests/files/ver_one.rc" -O coff -o "$WORK/version.o"

# pe_with_filler NAME BYTES: the fixture stub, the version resource and a
# read-only data section of BYTES bytes.
pe_with_filler() {
  cat > "$WORK/filler.s" <<ASM
	.section .rdata,"dr"
	.globl hk_filler
hk_filler:
	.fill $2,1,0x5a
ASM
  $CC -c -o "$WORK/filler.o" "$WORK/filler.s"
  $CC -shared -s -nostdlib -Wl,-e,HkFixtureEntry -o "$WORK/$1" \
    "$ROOT/tests/files/stub.c" "$WORK/filler.o" "$WORK/version.o"
  rm -f "$WORK/filler.o" "$WORK/filler.s"
}
pe_with_filler small.dll 14000
pe_with_filler large.dll 209715200
ls -l "$WORK/small.dll" "$WORK/large.dll" | awk '{print $5, $9}'

cat > "$WORK/bench.tcl" <<'TCL'
lassign $argv lib small large
load $lib Hostkit

# Bytes this process has read so far (read and pread calls).
proc bytesRead {} {
    set f [open /proc/self/io]
    regexp {rchar:\s+(\d+)} [read $f] -> n
    close $f
    return $n
}

# Where the version resource lies: the file offset of its key.
proc versionOffset {path} {
    set f [open $path rb]
    set data [read $f]
    close $f
    string first [encoding convertto unicode VS_VERSION_INFO] $data
}
foreach {name path} [list small $small large $large] {
    puts [format "%-5s %10d bytes, version resource at offset %d" $name [file size $path] \
	[versionOffset $path]]
}

# Warm both, then alternate them round by round so that both see the same
# machine load.
foreach path [list $small $large] { filegetversion $path ProductVersion }
set rounds 2000
array set time {small 0 large 0}
array set bytes {small 0 large 0}
for {set i 0} {$i < $rounds} {incr i} {
    foreach {name path} [list small $small large $large] {
	set before [bytesRead]
	set t [clock microseconds]
	set value [filegetversion $path ProductVersion]
	incr time($name) [expr {[clock microseconds] - $t}]
	incr bytes($name) [expr {[bytesRead] - $before}]
    }
}
foreach name {small large} {
    puts [format "%-5s %8.1f us per call, %6d bytes read per call (value %s)" $name \
	[expr {double($time($name)) / $rounds}] [expr {$bytes($name) / $rounds}] $value]
}
set ratio [expr {double($time(large)) / $time(small)}]
puts [format "large/small time ratio: %.2f (limit 2.00)" $ratio]
exit [expr {$ratio > 2.0}]
TCL
tclsh8.6 "$WORK/bench.tcl" "$BUILD/Hostkit.so" "$WORK/small.dll" "$WORK/large.dll"
