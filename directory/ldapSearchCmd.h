/*
 * ldapSearchCmd.h --
 *
 *	The part of ldapsearchgetnextitem that can be tried without a server:
 *	turning one entry into its result text. The option words of
 *	ldapsearch are read by the helpers of searchText.h.
 */

#ifndef HOSTKIT_LDAP_SEARCH_CMD_H
#define HOSTKIT_LDAP_SEARCH_CMD_H

#include <cstddef>
#include <string>

#include "directory/searchText.h"

class ResultRecord;

/*
 * The result text of one entry: "name {value} " per pair in key order,
 * leaving out values that hold a zero byte. A value (or name) that braces
 * cannot carry is quoted as Tcl's own lists quote it, so that the text
 * always parses back to the exact names and values.
 */
void hkFormatRecord(const ResultRecord &record, std::string &out);

#endif /* HOSTKIT_LDAP_SEARCH_CMD_H */
