# process_bench.tcl --
#
#	Benchmarks of the process commands on Linux, each side by side with
#	what a script would otherwise use:
#	  list     getprocesslist with about 1,000 processes running, against
#	           `ps -e -o pid,nlwp,ni,comm` (target: within 1.5x of ps)
#	  trivial  execprocess of a program that does nothing, against exec
#	           (target: within 1.5x)
#	  large    execprocess of a program writing 50 MB, against exec (target:
#	           within 2x), and the peak memory of each, measured in a fresh
#	           interpreter process (target: no more than twice the output)
#
#	Usage: tclsh8.6 bench/process_bench.tcl BUILD_DIR ?list|trivial|large ...?
#	Prints one line per measurement. Never part of the test run.

set build [file normalize [lindex $argv 0]]
set parts [lrange $argv 1 end]
if {$parts eq ""} { set parts {list trivial large} }
load [file join $build Hostkit.so] Hostkit
set child [file join $build hkchild]

# Median time of `script` in milliseconds over `runs` runs.
proc median {runs script} {
    set times {}
    for {set i 0} {$i < $runs} {incr i} {
	set t [clock microseconds]
	uplevel 1 $script
	lappend times [expr {([clock microseconds] - $t) / 1000.0}]
    }
    lindex [lsort -real $times] [expr {$runs / 2}]
}

proc report {what ours theirs limit} {
    set ratio [expr {$ours / $theirs}]
    puts [format "%-34s hostkit %9.2f ms   reference %9.2f ms   ratio %5.2f (limit %.1f) %s" \
	$what $ours $theirs $ratio $limit [expr {$ratio <= $limit ? "ok" : "OVER"}]]
}

# Peak memory (kB above the interpreter's own) of one command run in a
# fresh tclsh, and the length of what it returned.
proc peakOf {script} {
    set probe [format {
	load %s Hostkit
	proc kb {key} {
	    set f [open /proc/self/status]; set s [read $f]; close $f
	    regexp "$key:\\s+(\\d+)" $s -> v; return $v
	}
	set base [kb VmRSS]
	set r [%s]
	puts "[expr {[kb VmHWM] - $base}] [string length $r]"
    } [list [file join $::build Hostkit.so]] $script]
    exec [info nameofexecutable] << $probe
}

if {"list" in $parts} {
    # Sleepers up to about 1,000 processes in all, bounded, ended afterwards.
    set running [llength [glob -directory /proc {[1-9]*}]]
    set want [expr {max(0, 1000 - $running)}]
    set sleepers {}
    try {
	for {set i 0} {$i < $want} {incr i} {
	    lappend sleepers {*}[exec sleep 300 &]
	}
	after 500
	set n [llength [getprocesslist]]
	set ours [median 9 { getprocesslist }]
	set ps [median 9 { exec ps -e -o pid,nlwp,ni,comm }]
	report "getprocesslist ($n listed)" $ours $ps 1.5
    } finally {
	foreach id $sleepers { catch {terminateprocess $id} }
	# Reap them: they are this interpreter's children.
	catch {exec true}
    }
}

if {"trivial" in $parts} {
    set ours [median 201 { execprocess $child }]
    set theirs [median 201 { exec $child }]
    report "execprocess trivial program" $ours $theirs 1.5
}

if {"large" in $parts} {
    # 50 MB of text lines (no CR, no NUL: exec would translate those).
    set line [binary encode hex [string repeat abcdefghi 7]\n]
    set times [expr {50000000 / 64}]
    set ours [median 5 { execprocess $child rep:$times:$line }]
    set theirs [median 5 { exec $child rep:$times:$line }]
    report "execprocess 50 MB output" $ours $theirs 2.0
    lassign [peakOf [list execprocess $child rep:$times:$line]] kbOurs len
    lassign [peakOf [list exec $child rep:$times:$line]] kbTheirs
    puts [format "peak memory for %d bytes of output: hostkit %.1f MB (%.2fx), exec %.1f MB (%.2fx)" \
	$len [expr {$kbOurs / 1024.0}] [expr {$kbOurs * 1024.0 / $len}] \
	[expr {$kbTheirs / 1024.0}] [expr {$kbTheirs * 1024.0 / $len}]]
}
