# ldap_bench.tcl --
#
#	One side of the directory search benchmark, run by ldap_bench.sh:
#	  tclsh ldap_bench.tcl hostkit LIB HOST PORT BINDDN PASSWORD BASE FILTER ?OPTION VALUE ...?
#	  tclsh ldap_bench.tcl tcllib  -   HOST PORT BINDDN PASSWORD BASE FILTER
#	Prints "search SECONDS read SECONDS entries N" (tcllib: search is the
#	start of the search, read the walk over every entry).

lassign $argv mode lib host port binddn password base filter
set extra [lrange $argv 8 end]	;# further ldapsearch options (secure, cacertfile)
set attrs {cn givenname middleinitial sn telephonenumber mail mobile}

proc now {} { clock microseconds }

# The reading loops are procedures, as the code of an application is: a
# loop at the top level of a script pays for global variable look-ups.
proc readHostkit {} {
    set n 0
    while {![catch {ldapsearchgetnextitem} entry]} {
	dict size $entry
	incr n
    }
    return $n
}

proc readTcllib {h} {
    set n 0
    while {[llength [set entry [ldap::searchNext $h]]] > 0} {
	dict size [lindex $entry 1]
	incr n
    }
    return $n
}

if {$mode eq "hostkit"} {
    load $lib Hostkit
    set t0 [now]
    set count [ldapsearch server $host port $port username $binddn password $password \
		   searchBase $base searchFilter $filter desiredAttributes $attrs {*}$extra]
    set t1 [now]
    set n [readHostkit]
    set t2 [now]
} else {
    package require ldap
    set t0 [now]
    set h [ldap::connect $host $port]
    ldap::bind $h $binddn $password
    ldap::searchInit $h $base $filter $attrs {}
    set t1 [now]
    set n [readTcllib $h]
    ldap::searchEnd $h
    ldap::unbind $h
    ldap::disconnect $h
    set t2 [now]
}
puts [format "search %.3f read %.3f entries %d" [expr {($t1 - $t0) / 1e6}] \
	  [expr {($t2 - $t1) / 1e6}] $n]
