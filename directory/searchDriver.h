/*
 * searchDriver.h --
 *
 *	The directory search driver: one call of runDirectorySearch connects
 *	to a directory server, binds, asks the root DSE whether the server
 *	pages, runs one subtree search (in pages of HK_SEARCH_PAGE_SIZE when it
 *	does), follows referrals to further servers and writes every entry
 *	into the results file. Progress and problems go to the search's report
 *	(searchReport.h), which also tells how the search ended; the caller
 *	gets the count or a negative code.
 */

#ifndef HOSTKIT_SEARCH_DRIVER_H
#define HOSTKIT_SEARCH_DRIVER_H

#include "directory/base/searchText.h"
#include "directory/searchReport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hkdir {

/* Codes of runDirectorySearch. */
enum {
    HK_SEARCH_BAD_OPTION = -10,		/* an option value that cannot be used */
    HK_SEARCH_NO_USER = -200,		/* a password without a username */
    HK_SEARCH_FAILED = -300,		/* the search was refused or could not start
					 * before any entry arrived */
    HK_SEARCH_NO_CONNECTION = -400,
    HK_SEARCH_BIND_FAILED = -500,
    HK_SEARCH_NO_RESULTS_FILE = -600,
    HK_SEARCH_NOT_SECURED = -800	/* TLS refused, or its handshake or the check
					 * of the server's certificate failed */
};

enum {
    HK_SEARCH_PAGE_SIZE = 500,
    HK_SEARCH_MAX_REFERRAL_DEPTH = 32,	/* nested referral servers, like the hop
					 * limit of the library's own chasing */
    HK_SEARCH_MAX_REFERRAL_SEARCHES = 256,	/* referral searches in one search */
    HK_SEARCH_MAX_PAGES = 20000,	/* pages of one server's paged search */
    HK_SEARCH_MAX_COOKIE = 64 * 1024,	/* bytes of a page cookie */
    HK_SEARCH_DEFAULT_TIMEOUT = 60,	/* seconds */
    HK_SEARCH_MAX_RANGE_REQUESTS = 20000	/* requests for the further ranges
					 * of one attribute */
};

/* How connections are secured. */
enum class Security {
    NONE,		/* clear text */
    LDAPS,		/* TLS from the first byte */
    STARTTLS		/* the StartTLS operation before anything else */
};

/* How the search binds. */
enum class Authentication {
    SIMPLE,		/* a DN and a password, or anonymous */
    NEGOTIATE		/* the account's own Kerberos credentials */
};

/* How deep below the base the search looks. */
enum class Scope {
    BASE,		/* the base entry alone */
    ONE_LEVEL,		/* the entries right below the base */
    SUBTREE		/* the base and everything below it */
};

/* One search, as the caller asks for it. */
struct SearchParameters {
    std::string server;			/* names separated by blanks, tried in turn */
    std::string domain;			/* used when server is empty: its domain
					 * controllers, found by their SRV records */
    uint16_t port = HK_LDAP_DEFAULT_PORT;
    uint16_t portOption = 0;		/* the port the caller named; 0: none */
    Authentication authentication = Authentication::SIMPLE;
    std::string username;		/* bind DN; empty: anonymous */
    std::string password;
    std::string searchBase;		/* empty: the empty DN */
    std::string searchFilter;		/* empty: every object */
    std::string attributes;		/* names separated by blanks; none: all */
    bool includePrivate = false;	/* also entries marked private */
    std::string resultsPath;		/* the results file to write */
    Security security = Security::NONE;
    std::string caCertFile;		/* PEM file of trusted CAs; empty: the system's */
    unsigned timeoutSeconds = HK_SEARCH_DEFAULT_TIMEOUT;	/* 0: none */
    bool allValues = false;		/* every value of each attribute, ranges
					 * fetched whole; otherwise the first */
    std::vector<std::string> binaryAttributes =	/* values written as hexadecimal */
	    splitAttributes(HK_DEFAULT_BINARY_ATTRIBUTES);
    Scope scope = Scope::SUBTREE;
    unsigned sizeLimit = 0;		/* entries asked of each server; 0: no limit */
    unsigned timeLimit = 0;		/* seconds for the whole search; 0: none */
    bool withDn = false;		/* each entry's DN is written as "dn" */
    bool followReferrals = true;	/* otherwise references are only listed */
    std::string sortAttribute;		/* not empty: sorted by the server */
    bool sortDescending = false;
    bool quiet = false;			/* no line on the process's streams */
    bool strict = false;		/* an incomplete search is a failure */
    std::vector<std::string> unknownOptions;	/* option names skipped */
    unsigned maxPages = HK_SEARCH_MAX_PAGES;
    unsigned maxReferralSearches = HK_SEARCH_MAX_REFERRAL_SEARCHES;
    std::string badOption;		/* set: the option whose value cannot be
					 * used, and nothing is sent */
    std::string badValue;
    bool badWithNegotiate = false;	/* badOption was given with authentication
					 * negotiate, which takes no credentials */
};

/*
 * Runs one search and returns the number of entries written to the results
 * file, or one of the codes above; the report holds its lines, its counts
 * and why it is not complete, if it is not. Throws std::bad_alloc when
 * memory runs out; the results file and the connections are closed then.
 */
int runDirectorySearch(const SearchParameters &parameters, SearchReport &report);

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_DRIVER_H */
