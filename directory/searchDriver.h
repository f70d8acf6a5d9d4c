/*
 * searchDriver.h --
 *
 *	The directory search driver: one call of RunDirectorySearch connects
 *	to a directory server, binds, asks the root DSE whether the server
 *	pages, runs one subtree search (in pages of 500 when it does), follows
 *	search references to further servers and writes every entry into the
 *	results file. Progress and failures are printed on the process's
 *	standard output and standard error; the caller sees only the count or
 *	a negative code.
 *
 *	The pieces that need no server (filter, attribute list, referral URL)
 *	are declared here too so that they can be tried on their own.
 */

#ifndef HOSTKIT_SEARCH_DRIVER_H
#define HOSTKIT_SEARCH_DRIVER_H

#include "directory/ldapPlatform.h"
#include "directory/searchText.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/* Codes of RunDirectorySearch. */
enum {
    HK_SEARCH_NO_BASE = -100,		/* searchBase is a null reference */
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

#define HK_PAGED_RESULTS_OID "1.2.840.113556.1.4.319"

/*
 * Runs one search and returns the number of entries written to the results
 * file, or one of the codes above. A null searchBase is refused; an empty
 * one is the empty DN. An empty filter means every object.
 */
int RunDirectorySearch(const char *server, uint16_t port, const char *username,
	const char *password, const char *searchBase, const char *searchFilter,
	const char *desiredAttributes, const char *resultsPath, bool excludePrivate);

/* Sets the four connection options in order; -1 at the first refusal. */
int SetConnectionOptions(hkldap::Connection &connection);

/*
 * Searches one connection and writes its entries (and those of referral
 * servers followed from it) to the results file; counter receives their
 * number. *failed tells whether this server's search could not start or
 * ended with an error. depth is 0 for the first server.
 */
int SearchToFile(hkldap::Connection &connection, const char *username, const char *password,
	const char *searchBase, char **attributes, const char *filter, FILE *results,
	int32_t &counter, bool *failed, int depth);

/* Writes every entry of a message from the given one on. */
void WriteEntries(hkldap::Connection &connection, hkldap::RawEntry *entry, FILE *results,
	int32_t &counter);

/* Follows every URL of one search reference. */
void FollowReferrals(hkldap::Connection &connection, const hkldap::Message &reference,
	const char *username, const char *password, const char *filter, char **attributes,
	FILE *results, int32_t &counter, int depth);

/*
 * Opens, binds and configures a connection to the server that a referral
 * URL names, and gives back the URL's base DN. False when the URL cannot be
 * used or the server refuses.
 */
bool OpenReferralConnection(const std::string &url, const char *username, const char *password,
	hkldap::Connection &connection, std::string &baseDn);

#endif /* HOSTKIT_SEARCH_DRIVER_H */
