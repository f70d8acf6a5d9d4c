# demo.tcl --
#
#	A tour of the Hostkit commands from a Tcl script.
#	Usage: tclsh8.6 demo.tcl BUILD_DIR   (or tclsh9.0 with the Tcl 9 build folder)

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

section "ldapencryptpassword / ldapdecryptpassword"
set scrambled [ldapencryptpassword "S3cret p\u00e4ss"]
puts "ldapencryptpassword {S3cret p\u00e4ss} -> $scrambled"
puts "ldapdecryptpassword $scrambled -> [ldapdecryptpassword $scrambled]"
puts "upper case reads the same: [ldapdecryptpassword [string toupper $scrambled]]"

section "ldapsearch / ldapsearchgetnextitem"
if {![info exists env(HOSTKIT_LDAP_PORT)]} {
    puts "no sample directory (start it with tests/ldap/servers.sh start)"
} else {
    # The driver prints its progress on the process's own standard streams.
    set count [ldapsearch server $env(HOSTKIT_LDAP_HOST) port $env(HOSTKIT_LDAP_PORT) \
	searchBase ou=staff,dc=ombri,dc=test username $env(HOSTKIT_LDAP_BINDDN) \
	encryptedpassword [ldapencryptpassword $env(HOSTKIT_LDAP_PASSWORD)]]
    puts "ldapsearch ... searchBase ou=staff,dc=ombri,dc=test -> $count entries"
    while {![catch {ldapsearchgetnextitem} entry]} {
	if {$entry eq ""} continue	;# an entry without any of the attributes
	puts "  [dict get $entry cn]: [dict remove $entry cn]"
    }
    puts "after the last entry: error \"$entry\""
    set count [ldapsearch server $env(HOSTKIT_LDAP_HOST) port $env(HOSTKIT_LDAP_PORT) \
	searchBase ou=bulk,dc=ombri,dc=test searchFilter (uid=u00001*) \
	desiredAttributes "uid mail" username $env(HOSTKIT_LDAP_BINDDN) \
	password $env(HOSTKIT_LDAP_PASSWORD)]
    puts "people whose uid starts with u00001: $count"
    while {![catch {ldapsearchgetnextitem} entry]} { puts "  $entry" }
    # Every value of each attribute, binary ones (jpegPhoto) as hexadecimal.
    ldapsearch server $env(HOSTKIT_LDAP_HOST) port $env(HOSTKIT_LDAP_PORT) \
	searchBase dc=ombri,dc=test searchFilter "(|(cn=Bob Stone)(uid=odd9))" \
	desiredAttributes "cn telephoneNumber jpegPhoto" allvalues true \
	username $env(HOSTKIT_LDAP_BINDDN) password $env(HOSTKIT_LDAP_PASSWORD)
    while {![catch {ldapsearchgetnextitem} entry]} {
	puts "allvalues: [lindex [dict get $entry cn] 0]: [dict remove $entry cn]"
    }
    if {[catch {ldapsearch server 127.0.0.1 port 1 searchBase x} msg]} {
	puts "closed port -> error \"$msg\""
    }
}

section "filegetversion / filesetmtime"
# The PE fixtures of the tests, or the module's own Windows DLL when it is built.
set fixture [file join $build fixtures ver_one.dll]
set dll [file join [file dirname $build] build-win Hostkit.dll]
foreach {file attribute} [list $fixture ProductVersion $fixture CompanyName \
			      $dll FileDescription $dll ProductVersion] {
    if {[file exists $file]} {
	puts "filegetversion [file tail $file] $attribute -> \"[filegetversion $file $attribute]\""
    }
}
if {[catch {filegetversion [info script] ProductVersion} msg]} {
    puts "filegetversion demo.tcl ProductVersion -> error \"$msg\""
}
set tmp [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] hostkit-demo-[pid].txt]
close [open $tmp w]
filesetmtime $tmp "2004 7 7 21 55 20"
puts "filesetmtime [file tail $tmp] {2004 7 7 21 55 20} -> mtime\
	[clock format [file mtime $tmp] -format {%Y-%m-%d %H:%M:%S %Z}]"
if {[catch {filesetmtime $tmp "2004 2 30 0 0 0"} msg]} {
    puts "30 February -> error \"$msg\""
}
file delete $tmp

section "getprocesslist / execprocess / gettempfilename"
set processes [getprocesslist]
puts "getprocesslist: [llength $processes] processes, for example:"
foreach p [lrange $processes 0 2] { puts "  $p" }
foreach p $processes {
    if {[dict get $p pid] == [pid]} { puts "  this interpreter: $p" }
}
set name [gettempfilename demo]
puts "gettempfilename demo -> $name ([file size $name] bytes)"
file delete $name
# Output with CR LF and a NUL comes back with LF, every byte kept.
set helper [file join $build hkchild]
if {[file executable $helper]} {
    set out [execprocess $helper out:[binary encode hex "line 1\r\nline 2\0end\n"] err:[binary encode hex "to stderr\n"]]
    puts "execprocess hkchild ... -> [string length $out] characters:"
    puts [string map [list \0 {\0}] $out]
    if {[catch {execprocess $helper out:[binary encode hex "failing\n"] exit:3} msg]} {
	puts "exit code 3 -> error \"[string trim $msg]\" (code 3)"
    }
}
puts "execprocess uname -sr -> [string trim [execprocess uname -sr]]"
puts "execprocess echo {a b} {\$HOME} -> [string trim [execprocess echo {a b} {$HOME}]]  (no shell)"
# A background program's capture files, and those of a failed start, are
# removed by the package: nothing is left in the temporary folder.
set id [execprocess sleep 30 &]
puts "execprocess sleep 30 & -> $id; [terminateprocess $id]"
if {[catch {execprocess no-such-program-here} msg]} {
    puts "execprocess no-such-program-here -> error \"$msg\""
}
