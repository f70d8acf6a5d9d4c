/*
 * searchDriver.h --
 *
 *	The directory search driver: one call of runDirectorySearch connects
 *	to a directory server, binds, asks the root DSE whether the server
 *	pages, runs one subtree search (in pages of HK_SEARCH_PAGE_SIZE when it
 *	does), follows referrals to further servers and writes every entry
 *	into the results file. Progress and problems go to searchReport.h; the
 *	caller sees only the count or a negative code.
 */

#ifndef HOSTKIT_SEARCH_DRIVER_H
#define HOSTKIT_SEARCH_DRIVER_H

#include "directory/base/searchText.h"

#include <cstdint>
#include <string>

namespace hkdir {

/* Codes of runDirectorySearch. */
enum {
    HK_SEARCH_NO_USER = -200,		/* a password without a username */
    HK_SEARCH_FAILED = -300,		/* the search was refused or could not start
					 * before any entry arrived */
    HK_SEARCH_NO_CONNECTION = -400,
    HK_SEARCH_BIND_FAILED = -500,
    HK_SEARCH_NO_RESULTS_FILE = -600
};

enum {
    HK_SEARCH_PAGE_SIZE = 500,
    HK_SEARCH_MAX_REFERRAL_DEPTH = 32	/* nested referral servers, like the hop
					 * limit of the library's own chasing */
};

/* One search, as the caller asks for it. */
struct SearchParameters {
    std::string server;
    uint16_t port = HK_LDAP_DEFAULT_PORT;
    std::string username;		/* bind DN; empty: anonymous */
    std::string password;
    std::string searchBase;		/* empty: the empty DN */
    std::string searchFilter;		/* empty: every object */
    std::string attributes;		/* names separated by blanks; none: all */
    bool includePrivate = false;	/* also entries marked private */
    std::string resultsPath;		/* the results file to write */
};

/*
 * Runs one search and returns the number of entries written to the results
 * file, or one of the codes above. Throws std::bad_alloc when memory runs
 * out; the results file and the connections are closed then.
 */
int runDirectorySearch(const SearchParameters &parameters);

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_DRIVER_H */
