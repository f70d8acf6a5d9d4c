/*
 * searchText.cpp --
 *
 *	The text handling of the directory search that needs neither a
 *	server nor Tcl: option words, the filter sent, the attribute list,
 *	referral URLs and the brace rule of result values.
 */

#include "directory/searchText.h"

#include <cstdint>

namespace {

int
HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
	return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
	return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
	return c - 'A' + 10;
    }
    return -1;
}

char
Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string
hkPercentDecode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
	if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0
		&& HexDigit(text[i + 2]) >= 0) {
	    out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
	    i += 2;
	} else {
	    out.push_back(text[i]);
	}
    }
    return out;
}

bool
hkParseReferralUrl(const std::string &url, HkReferralUrl &out)
{
    size_t slash = url.find('/');
    if (slash == std::string::npos || slash + 1 >= url.size() || url[slash + 1] != '/') {
	return false;
    }
    size_t hostStart = slash + 2;
    size_t hostEnd = url.find_first_of("/?", hostStart);
    if (hostEnd == std::string::npos || url[hostEnd] != '/') {
	return false;		/* nothing to search: no DN */
    }
    std::string hostport = url.substr(hostStart, hostEnd - hostStart);

    size_t dnEnd = url.find('?', hostEnd + 1);
    out.baseDn = hkPercentDecode(url.substr(hostEnd + 1,
	    dnEnd == std::string::npos ? std::string::npos : dnEnd - hostEnd - 1));

    size_t colon;
    if (!hostport.empty() && hostport[0] == '[') {
	size_t close = hostport.find(']');
	if (close == std::string::npos) {
	    return false;
	}
	out.host = hostport.substr(1, close - 1);
	colon = (close + 1 < hostport.size() && hostport[close + 1] == ':') ? close + 1
		: std::string::npos;
    } else {
	colon = hostport.find(':');
	out.host = hostport.substr(0, colon);
    }
    out.host = hkPercentDecode(out.host);
    unsigned long port = 0;
    if (colon != std::string::npos) {
	for (size_t i = colon + 1; i < hostport.size() && hostport[i] >= '0' && hostport[i] <= '9';
		i++) {
	    port = (port * 10 + static_cast<unsigned long>(hostport[i] - '0')) & 0xFFFFFFFFul;
	}
    }
    port &= 0xFFFF;
    out.port = port == 0 ? 389 : static_cast<unsigned>(port);
    return true;
}

std::string
hkBuildSearchFilter(const char *searchFilter, bool excludePrivate)
{
    std::string filter = searchFilter ? searchFilter : "";
    if (!excludePrivate) {
	return filter;
    }
    if (filter.empty()) {
	return HK_PRIVATE_EXCLUSION;
    }
    /* A filter that has its own outer parentheses goes in as it stands. */
    if (filter.front() == '(' && filter.back() == ')') {
	return "(&" + filter + HK_PRIVATE_EXCLUSION ")";
    }
    return "(&(" + filter + ")" HK_PRIVATE_EXCLUSION ")";
}

std::vector<std::string>
hkSplitAttributes(const char *desiredAttributes)
{
    std::vector<std::string> names;
    const char *p = desiredAttributes ? desiredAttributes : "";
    while (*p != '\0') {
	while (*p == ' ' || *p == '\t') {
	    p++;
	}
	const char *start = p;
	while (*p != '\0' && *p != ' ' && *p != '\t') {
	    p++;
	}
	if (p > start) {
	    names.emplace_back(start, static_cast<size_t>(p - start));
	}
    }
    return names;
}

bool
hkEqualsCaseBlind(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++) {
	if (Lower(*a) != Lower(*b)) {
	    return false;
	}
    }
    return *a == *b;
}

long long
hkParsePortWord(const char *word)
{
    const char *p = word;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') {
	p++;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
	negative = *p == '-';
	p++;
    }
    /* Only the low bits matter, so the value is kept modulo 2^32. */
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
	value = value * 10u + static_cast<uint32_t>(*p - '0');
    }
    long long v = static_cast<long long>(value);
    return negative ? -v : v;
}

bool
hkParseFlagWord(const char *word)
{
    return hkEqualsCaseBlind(word, "true") || hkEqualsCaseBlind(word, "yes");
}

bool
hkBracesQuoteSafely(const char *value, size_t length)
{
    int depth = 0;
    for (size_t i = 0; i < length; i++) {
	switch (value[i]) {
	case '{':
	    depth++;
	    break;
	case '}':
	    if (--depth < 0) {
		return false;
	    }
	    break;
	case '\\':
	    /* It hides the next character from brace counting. */
	    if (i + 1 == length || value[i + 1] == '\n') {
		return false;
	    }
	    i++;
	    break;
	default:
	    break;
	}
    }
    return depth == 0;
}

