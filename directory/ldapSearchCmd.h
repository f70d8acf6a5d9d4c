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
 * The result text of one entry: "name {value} " per pair in key order,
 * leaving out values that hold a zero byte. With allValues each pair's
 * value is instead the list of all the name's values, zero bytes kept (as
 * Tcl's U+0000). A value (or name) that braces cannot carry is quoted as
 * Tcl's own lists quote it, so that the text always parses back to the
 * exact names and values. Names and values are Tcl text
 * (core/base/tclUtf8.h): bytes that are not UTF-8 become the characters of
 * their values.
 */
void formatEntryText(const ResultRecord &record, bool allValues, std::string &out);

/*
 * The same entry as a new Tcl list of its pairs (reference count 0) whose
 * string form is exactly that text: what ldapsearchgetnextitem returns.
 */
Tcl_Obj *newEntryObj(const ResultRecord &record, bool allValues);

} // namespace hkdir

#endif /* HOSTKIT_LDAP_SEARCH_CMD_H */
