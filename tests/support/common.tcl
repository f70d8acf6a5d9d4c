# common.tcl --
#
#	Sourced by every Hostkit test file: loads tcltest, the package under
#	test and the test-support extension, and defines the constraints and
#	helpers that the files share.
#
#	The runner names the libraries in the environment:
#	  HOSTKIT_LIB      the module under test: Hostkit.so / Hostkit.dll, or for
#	                   Tcl 9 tcl9Hostkit.so / tcl9Hostkit.dll
#	  HOSTKITTEST_LIB  HostkitTest.so / HostkitTest.dll
#	  HOSTKIT_BUILD    the build folder (helper programs, fixtures)
#	Without them the Linux build folder next to the sources is used.

package require tcltest 2.2
namespace import -force ::tcltest::*

namespace eval hk {
    variable testsDir [file normalize [file dirname [file dirname [info script]]]]
    variable srcDir [file dirname $testsDir]
    variable ext [expr {$::tcl_platform(platform) eq "windows" ? ".dll" : ".so"}]
    variable buildDir [expr {[info exists ::env(HOSTKIT_BUILD)] ? $::env(HOSTKIT_BUILD)
			     : [file join $srcDir build]}]
    variable tcl9 [package vsatisfies [package provide Tcl] 9.0]
    variable libName [expr {$tcl9 ? "tcl9Hostkit" : "Hostkit"}]
    variable lib [expr {[info exists ::env(HOSTKIT_LIB)] ? $::env(HOSTKIT_LIB)
			: [file join $buildDir $libName$ext]}]
    variable testLib [expr {[info exists ::env(HOSTKITTEST_LIB)] ? $::env(HOSTKITTEST_LIB)
			    : [file join $buildDir HostkitTest$ext]}]

    # The commands that the module registers, in table order. Keep this in
    # step with the command table in core/hostkitInit.cpp.
    variable commands {
	filegetversion
	terminateprocess
	getprocesslist
	ldapsearch
	ldapsearchgetnextitem
	ldapencryptpassword
	ldapdecryptpassword
	filesetmtime
	execprocess
	gettempfilename
	ldapsearchinfo
    }
}

load $hk::lib Hostkit
load $hk::testLib Hostkittest

testConstraint root [expr {$::tcl_platform(platform) eq "unix" && $::tcl_platform(user) eq "root"}]
testConstraint wine [info exists ::env(HOSTKIT_UNDER_WINE)]
testConstraint python3 [expr {$::tcl_platform(platform) eq "unix" && [auto_execok python3] ne ""}]

# hk::call word ?word ...? --
#	Runs one command and returns {code result errno}.
proc hk::call {args} {
    return [hostkittest::call {*}$args]
}

# hk::startChild script ?args? --
#	Starts a tclsh child (the same executable as this one) running a script
#	given as text, with a pipe to its standard input and output. Returns
#	the channel; [pid $chan] is the child's process id.
proc hk::startChild {script args} {
    variable childSeq
    incr childSeq
    set file [makeFile $script hkchild[pid]_$childSeq.tcl]
    set chan [open |[list [info nameofexecutable] $file {*}$args] r+]
    fconfigure $chan -buffering line
    return $chan
}

# hk::childStatus chan --
#	Closes a child's channel and returns how it ended: "exit N" for an
#	exit code (0 included), "signal NAME" for a signal.
proc hk::childStatus {chan} {
    fconfigure $chan -blocking 1
    if {![catch {close $chan} msg opts]} {
	return "exit 0"
    }
    set ec [dict get $opts -errorcode]
    switch -- [lindex $ec 0] {
	CHILDSTATUS { return "exit [lindex $ec 2]" }
	CHILDKILLED { return "signal [lindex $ec 2]" }
	default     { return "error $ec: $msg" }
    }
}

# A child that announces itself and then waits to be ended.
set hk::sleeperScript {
    puts ready
    flush stdout
    after 60000
    exit 0
}

# hk::startSleeper --
#	Starts a child that waits a minute; returns its channel once it runs.
proc hk::startSleeper {} {
    set chan [hk::startChild $::hk::sleeperScript]
    gets $chan
    return $chan
}

# hk::permissions file --
#	A file's permission bits as Tcl 8 writes them ("00600", "040700"):
#	Tcl 9 writes octal with the "0o" prefix ("0o600").
proc hk::permissions {file} {
    set digits [string trimleft [regsub {^0o} [file attributes $file -permissions] ""] 0]
    set text 0$digits
    while {[string length $text] < 5} { set text 0$text }
    return $text
}

# hk::utf8Text bytes --
#	The characters the package makes of bytes that may not be UTF-8: what
#	Tcl 8's utf-8 decoding makes of them (each stray byte the character of
#	its value, C0 80 a NUL). Tcl 9 has no such decoding (exec replaces a
#	stray byte with U+FFFD, the tcl8 profile goes through cp1252), so there
#	it is built from the strict decoding of each well-formed run; a
#	surrogate half written on its own counts as stray bytes there.
proc hk::utf8Text {bytes} {
    if {![package vsatisfies [package provide Tcl] 9.0]} {
	return [encoding convertfrom utf-8 $bytes]
    }
    set out {}
    while {$bytes ne {}} {
	append out [encoding convertfrom -profile strict -failindex at utf-8 $bytes]
	if {$at < 0} {
	    break
	}
	if {[string range $bytes $at [expr {$at + 1}]] eq "\xC0\x80"} {
	    append out \0
	    set at [expr {$at + 1}]
	} else {
	    append out [string index $bytes $at]
	}
	set bytes [string range $bytes [expr {$at + 1}] end]
    }
    return $out
}
