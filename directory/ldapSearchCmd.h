/*
 * ldapSearchCmd.h --
 *
 *	The part of ldapsearchgetnextitem that can be tried on its own: turning
 *	one entry into its result text.
 */

#ifndef HOSTKIT_LDAP_SEARCH_CMD_H
#define HOSTKIT_LDAP_SEARCH_CMD_H

#include <string>

struct Tcl_Obj;

namespace hkdir {

class ResultRecord;

/*
 * What ldapsearchgetnextitem returns for one entry: a new Tcl list of its
 * name/value pairs in key order (reference count 0) whose string form is
 * the text "name {value} " per pair, leaving out values that hold a zero
 * byte. With allValues each pair's value is instead the list of all the
 * name's values, zero bytes kept (as Tcl's U+0000). A value (or name) that
 * braces cannot carry is quoted as Tcl's own lists quote it, so that the
 * text always parses back to exactly the list's elements. Names and values
 * are Tcl text (core/base/tclUtf8.h): bytes that are not UTF-8 become the
 * characters of their values.
 */
Tcl_Obj *newEntryObj(const ResultRecord &record, bool allValues);

} // namespace hkdir

#endif /* HOSTKIT_LDAP_SEARCH_CMD_H */
