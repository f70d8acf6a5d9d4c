/*
 * searchText.h --
 *
 *	Text rules of the directory search: reading option words, the filter
 *	sent, the attribute list, the parts of a referral URL, and whether
 *	braces can carry a result value.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_SEARCH_TEXT_H
#define HOSTKIT_DIRECTORY_BASE_SEARCH_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hkdir {

/* The port of a directory server when none is given. */
constexpr uint16_t HK_LDAP_DEFAULT_PORT = 389;

/* The port of a directory server spoken to over TLS from the first byte. */
constexpr uint16_t HK_LDAPS_PORT = 636;

/* What is added to the filter to leave out private entries. */
constexpr char HK_PRIVATE_EXCLUSION[] = "(!(description=OmbriPrivateUser))";

/* The filter sent: the exclusion of private entries added when asked. */
std::string buildSearchFilter(const std::string &searchFilter, bool excludePrivate);

/* Attribute names separated by runs of spaces and tabs. */
std::vector<std::string> splitAttributes(const std::string &desiredAttributes);

/* The parts of an LDAP URL that a referral needs. */
struct ReferralUrl {
    bool tls = false;		/* an ldaps:// URL */
    std::string host;
    unsigned port = HK_LDAP_DEFAULT_PORT;
    std::string baseDn;		/* up to the query part, percent-decoded */
};

/*
 * Parses ldap://host[:port]/dn[?...]. False when there is no "//" after
 * the first '/', or no '/' after the host and port (no DN at all). A port
 * keeps its low 16 bits; 0 is the default port: 389, or 636 when the
 * scheme is ldaps (in any letter case), which also sets tls.
 */
bool parseReferralUrl(const std::string &url, ReferralUrl &out);

/* RFC 3986 percent-decoding; a '%' not followed by two hex digits stays. */
std::string percentDecode(const std::string &text);

/* Equal when A to Z are taken as a to z; every other byte as itself. */
bool equalsCaseBlind(const char *a, const char *b);

/*
 * The port word as a number: leading white space, an optional sign, then
 * decimal digits up to the first other character (none: 0). The caller
 * keeps the low 16 bits, which this computes exactly at any length.
 */
long long parsePortWord(const char *word);

/*
 * Tcl's boolean words: 1, true, yes, on and 0, false, no, off, in any
 * letter case. False for any other word, value then unchanged.
 */
bool parseBooleanWord(const char *word, bool &value);

/* The attributes whose values are handed back as hexadecimal unless told otherwise. */
constexpr char HK_DEFAULT_BINARY_ATTRIBUTES[] =
    "objectGUID objectSid jpegPhoto thumbnailPhoto userCertificate";

/*
 * Whether an attribute's values are binary: its type (the name up to the
 * first ';') is one of binaryNames, case-blind, or one of its options is
 * "binary" (userCertificate;binary).
 */
bool isBinaryAttribute(std::string_view name, const std::vector<std::string> &binaryNames);

/*
 * The range option of an attribute name, as a server that hands out a
 * large attribute in parts writes it: "member;range=0-1499" holds the
 * values 0 to 1499, "member;range=1500-*" the rest.
 */
struct AttributeRange {
    std::string plainName;	/* the name without its range option */
    uint64_t low = 0;
    uint64_t high = 0;		/* meaningless when last */
    bool last = false;		/* the range ends with '*': no values follow */
};

/*
 * False when the name has no range option, or one that is not LOW-HIGH or
 * LOW-* with decimal numbers and HIGH >= LOW.
 */
bool parseRangedName(const std::string &name, AttributeRange &out);

/*
 * True when "{value}" reads back as exactly the value in a Tcl list: the
 * braces balance and never close early, and no backslash ends the value
 * or stands before a line end.
 */
bool bracesQuoteSafely(const char *value, size_t length);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_SEARCH_TEXT_H */
