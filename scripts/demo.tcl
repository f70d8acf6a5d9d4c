# demo.tcl --
#
#	A tour of the Hostkit commands from a Tcl script.
#	Usage: tclsh8.6 demo.tcl BUILD_DIR

set build [lindex $argv 0]
lappend auto_path $build
package require OmbriHostkit
puts "OmbriHostkit [package present OmbriHostkit] loaded, hostkit_version = $hostkit_version"

proc section {title} { puts "\n== $title" }

section "terminateprocess"
set child [open |[list [info nameofexecutable]] r+]
puts $child {puts ready; flush stdout; after 60000}
flush $child
gets $child
set id [pid $child]
puts "started a child tclsh, process $id"
puts [terminateprocess $id]
catch {close $child} msg opts
puts "its waiter sees: [dict get $opts -errorcode]"
if {[catch {terminateprocess 0} msg]} {
    puts "terminateprocess 0 -> error \"$msg\""
}
