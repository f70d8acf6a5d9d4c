/*
 * searchText.cpp --
 *
 *	The text rules of the directory search: option words, the filter
 *	sent, the attribute list, referral URLs and the brace rule of result
 *	values.
 */

#include "directory/base/searchText.h"

#include "directory/base/resultRecord.h"

#include <cstdint>
#include <cstring>

namespace hkdir {

namespace {

/* Port numbers keep their low 16 bits. */
const uint32_t PORT_MASK = 0xFFFF;

int
hexDigit(char c)
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
lowerCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string
percentDecode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
	if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0
		&& hexDigit(text[i + 2]) >= 0) {
	    out.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
	    i += 2;
	} else {
	    out.push_back(text[i]);
	}
    }
    return out;
}

bool
parseReferralUrl(const std::string &url, ReferralUrl &out)
{
    size_t slash = url.find('/');
    if (slash == std::string::npos || slash + 1 >= url.size() || url[slash + 1] != '/') {
	return false;
    }
    out.tls = slash == 6 && equalsCaseBlind(url.substr(0, 6).c_str(), "ldaps:");
    size_t hostStart = slash + 2;
    size_t hostEnd = url.find_first_of("/?", hostStart);
    if (hostEnd == std::string::npos || url[hostEnd] != '/') {
	return false;		/* nothing to search: no DN */
    }
    std::string hostport = url.substr(hostStart, hostEnd - hostStart);

    size_t dnEnd = url.find('?', hostEnd + 1);
    out.baseDn = percentDecode(url.substr(hostEnd + 1,
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
    out.host = percentDecode(out.host);
    /* Only the low bits matter, so the number may wrap. */
    uint32_t port = 0;
    if (colon != std::string::npos) {
	for (size_t i = colon + 1; i < hostport.size() && hostport[i] >= '0' && hostport[i] <= '9';
		i++) {
	    port = port * 10u + static_cast<uint32_t>(hostport[i] - '0');
	}
    }
    port &= PORT_MASK;
    out.port = port != 0 ? static_cast<unsigned>(port)
	    : out.tls ? HK_LDAPS_PORT : HK_LDAP_DEFAULT_PORT;
    return true;
}

std::string
buildSearchFilter(const std::string &filter, bool excludePrivate)
{
    if (!excludePrivate) {
	return filter;
    }
    if (filter.empty()) {
	return HK_PRIVATE_EXCLUSION;
    }
    /* A filter that has its own outer parentheses goes in as it stands. */
    if (filter.front() == '(' && filter.back() == ')') {
	return "(&" + filter + HK_PRIVATE_EXCLUSION + ")";
    }
    return "(&(" + filter + ")" + HK_PRIVATE_EXCLUSION + ")";
}

std::vector<std::string>
splitAttributes(const std::string &desiredAttributes)
{
    std::vector<std::string> names;
    const char *p = desiredAttributes.c_str();
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
equalsCaseBlind(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++) {
	if (lowerCase(*a) != lowerCase(*b)) {
	    return false;
	}
    }
    return *a == *b;
}

long long
parsePortWord(const char *word)
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
parseBooleanWord(const char *word, bool &value)
{
    static const struct {
	const char *word;
	bool value;
    } WORDS[] = {
	{"1", true}, {"true", true}, {"yes", true}, {"on", true},
	{"0", false}, {"false", false}, {"no", false}, {"off", false}
    };
    for (const auto &w : WORDS) {
	if (equalsCaseBlind(word, w.word)) {
	    value = w.value;
	    return true;
	}
    }
    return false;
}

namespace {

/* Equal when A to Z are taken as a to z, for counted text. */
bool
sameCaseBlind(const char *a, size_t aLength, const char *b, size_t bLength)
{
    return aLength == bLength
	    && compareNamesCaseBlind(std::string_view(a, aLength), std::string_view(b, bLength)) == 0;
}

/* Decimal digits from p up to end; false when there are none or too many. */
bool
decimalOf(const char *p, const char *end, uint64_t &out)
{
    if (p == end || end - p > 18) {
	return false;
    }
    out = 0;
    for (; p < end; p++) {
	if (*p < '0' || *p > '9') {
	    return false;
	}
	out = out * 10 + static_cast<uint64_t>(*p - '0');
    }
    return true;
}

} // namespace

bool
isBinaryAttribute(std::string_view name, const std::vector<std::string> &binaryNames)
{
    size_t semicolon = name.find(';');
    size_t typeLength = semicolon == std::string_view::npos ? name.size() : semicolon;
    while (semicolon != std::string_view::npos) {
	size_t next = name.find(';', semicolon + 1);
	size_t end = next == std::string_view::npos ? name.size() : next;
	if (sameCaseBlind(name.data() + semicolon + 1, end - semicolon - 1, "binary", 6)) {
	    return true;
	}
	semicolon = next;
    }
    for (const std::string &binary : binaryNames) {
	if (sameCaseBlind(name.data(), typeLength, binary.data(), binary.size())) {
	    return true;
	}
    }
    return false;
}

bool
parseRangedName(const std::string &name, AttributeRange &out)
{
    static const char RANGE[] = "range=";
    const size_t rangeLength = sizeof RANGE - 1;
    for (size_t semicolon = name.find(';'); semicolon != std::string::npos;
	    semicolon = name.find(';', semicolon + 1)) {
	size_t start = semicolon + 1;
	size_t end = name.find(';', start);
	if (end == std::string::npos) {
	    end = name.size();
	}
	if (end - start <= rangeLength
		|| !sameCaseBlind(name.data() + start, rangeLength, RANGE, rangeLength)) {
	    continue;
	}
	const char *bounds = name.data() + start + rangeLength;
	const char *boundsEnd = name.data() + end;
	const char *dash = static_cast<const char *>(memchr(bounds, '-',
		static_cast<size_t>(boundsEnd - bounds)));
	if (dash == nullptr || !decimalOf(bounds, dash, out.low)) {
	    return false;
	}
	if (boundsEnd - dash == 2 && dash[1] == '*') {
	    out.last = true;
	    out.high = 0;
	} else if (decimalOf(dash + 1, boundsEnd, out.high) && out.high >= out.low) {
	    out.last = false;
	} else {
	    return false;
	}
	out.plainName = name.substr(0, semicolon) + name.substr(end);
	return true;
    }
    return false;
}

bool
bracesQuoteSafely(const char *value, size_t length)
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

} // namespace hkdir
