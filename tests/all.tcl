# all.tcl --
#
#	Runs every *.test file of this folder, each in its own interpreter
#	process, prints the summary line
#	    hostkit-counts: passed P skipped S failed F
#	and exits non-zero when a test failed or none ran. The test files get
#	a temporary folder of this run's own (TMPDIR, TMP, TEMP); an
#	execprocess capture file (Exe*.TMP) left there or in any folder the
#	tests made counts as a failure.
#	Usage: tclsh all.tcl ?tcltest options?

package require tcltest 2.2
namespace import ::tcltest::*

set testsDir [file dirname [file normalize [info script]]]
if {$tcl_platform(platform) eq "windows" && [info exists env(TEMP)]} {
    set tmpRoot $env(TEMP)
} elseif {[info exists env(TMPDIR)]} {
    set tmpRoot $env(TMPDIR)
} else {
    set tmpRoot /tmp
}
set tmpDir [file join $tmpRoot hostkit-tests-[pid]]
file mkdir $tmpDir
set outFile [file join $tmpDir all.out]
set tempFolder [file join $tmpDir temp]
file mkdir $tempFolder
foreach name {TMPDIR TMP TEMP} {
    set env($name) [file nativename $tempFolder]
}

# The capture files of execprocess below a folder.
proc captureFilesBelow {dir} {
    set found [glob -nocomplain -directory $dir -types f {[Ee][Xx][Ee]*.[Tt][Mm][Pp]}]
    foreach sub [glob -nocomplain -directory $dir -types d *] {
	lappend found {*}[captureFilesBelow $sub]
    }
    return $found
}

configure -testdir $testsDir -tmpdir $tmpDir -singleproc 0 {*}$argv -outfile $outFile
runAllTests

# The per-file lines reach us only as text; the closing line holds the sums.
catch {close [outputChannel]}
set f [open $outFile]
set text [read $f]
close $f
puts -nonewline $text
lassign {0 0 0 0} total passed skipped failed
regexp {Total\s+(\d+)\s+Passed\s+(\d+)\s+Skipped\s+(\d+)\s+Failed\s+(\d+)} $text -> total passed skipped failed
# A test file that crashed or wrote to stderr is listed here; each counts as
# a failure, since its own counts may be incomplete.
set at [string first "Test files exiting with errors:" $text]
if {$at >= 0} {
    foreach line [lrange [split [string range $text $at end] \n] 1 end] {
	set line [string trim $line]
	if {[string match *.test $line]} {
	    incr failed
	} elseif {$line ne ""} {
	    break
	}
    }
}
set left [captureFilesBelow $tmpDir]
if {[llength $left]} {
    puts "capture files left behind: [llength $left] ([lrange $left 0 9])"
    incr failed
}
catch {file delete -force $tmpDir}
puts "hostkit-counts: passed $passed skipped $skipped failed $failed"
exit [expr {$failed > 0 || $total == 0}]
