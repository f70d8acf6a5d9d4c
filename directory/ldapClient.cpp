/*
 * ldapClient.cpp --
 *
 *	The parts of the LDAP client of ldapPlatform.h that are the same with
 *	every client library: a failure's description, and handing out the
 *	values of an attribute once the library's definition has gathered
 *	them (directory/unix/unixLdap.cpp, directory/win/winLdap.cpp).
 */

#include "directory/ldapPlatform.h"

namespace hkldap {

Failure
Connection::failureOf(unsigned long code)
{
    Failure failure;
    failure.code = code;
    failure.libraryText = libraryText(code);
    failure.serverText = serverMessage();
    return failure;
}

AttributeWalk::AttributeWalk(Connection &connection, RawEntry *entry)
    : connection_(connection), entry_(entry)
{
}

/* The values are gathered at the first call for an attribute. */
bool
AttributeWalk::value(size_t i, const char **data, size_t *length)
{
    if (!fetched_) {
	fetched_ = true;
	fetchValues();
    }
    if (i >= values_.size()) {
	return false;
    }
    *data = values_[i].data();
    *length = values_[i].size();
    return true;
}

} // namespace hkldap
