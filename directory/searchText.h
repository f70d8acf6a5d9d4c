/*
 * searchText.h --
 *
 *	Text handling of the directory search that needs neither a server nor
 *	Tcl: reading option words, the filter sent, the attribute list, the
 *	parts of a referral URL, and whether braces can carry a result value.
 */

#ifndef HOSTKIT_SEARCH_TEXT_H
#define HOSTKIT_SEARCH_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

#define HK_PRIVATE_EXCLUSION "(!(description=OmbriPrivateUser))"

/* The filter sent: the exclusion of private entries added when asked. */
std::string hkBuildSearchFilter(const char *searchFilter, bool excludePrivate);

/* Attribute names separated by runs of spaces and tabs. */
std::vector<std::string> hkSplitAttributes(const char *desiredAttributes);

/* The parts of an LDAP URL that a referral needs. */
struct HkReferralUrl {
    std::string host;
    unsigned port = 389;
    std::string baseDn;		/* up to the query part, percent-decoded */
};

/*
 * Parses ldap://host[:port]/dn[?...]. False when there is no "//" after
 * the first '/', or no '/' after the host and port (no DN at all).
 */
bool hkParseReferralUrl(const std::string &url, HkReferralUrl &out);

/* RFC 3986 percent-decoding; a '%' not followed by two hex digits stays. */
std::string hkPercentDecode(const std::string &text);

/* Equal when A to Z are taken as a to z; every other byte as itself. */
bool hkEqualsCaseBlind(const char *a, const char *b);

/*
 * The port word as a number: leading white space, an optional sign, then
 * decimal digits up to the first other character (none: 0). The caller
 * keeps the low 16 bits, which this computes exactly at any length.
 */
long long hkParsePortWord(const char *word);

/* "true" or "yes" in any letter case. */
bool hkParseFlagWord(const char *word);

/*
 * True when "{value}" reads back as exactly the value in a Tcl list: the
 * braces balance and never close early, and no backslash ends the value
 * or stands before a line end.
 */
bool hkBracesQuoteSafely(const char *value, size_t length);

#endif /* HOSTKIT_SEARCH_TEXT_H */
