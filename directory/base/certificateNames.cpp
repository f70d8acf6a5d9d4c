/*
 * certificateNames.cpp --
 *
 *	The host-name rule of certificateNames.h. Everything here works on
 *	whole strings with their lengths: a certificate's names may hold any
 *	byte.
 */

#include "directory/base/certificateNames.h"

#include <cstdint>
#include <cstdio>

namespace hkdir {

namespace {

/* At most this many names are listed in a refusal; the rest are counted. */
const size_t MAX_NAMES_SHOWN = 16;

/* At most this many bytes of one name are shown. */
const size_t MAX_NAME_SHOWN = 256;

char
lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool
equalCaseBlind(const std::string &a, size_t aFrom, const std::string &b, size_t bFrom)
{
    if (a.size() - aFrom != b.size() - bFrom) {
	return false;
    }
    for (size_t i = 0; aFrom + i < a.size(); i++) {
	if (lower(a[aFrom + i]) != lower(b[bFrom + i])) {
	    return false;
	}
    }
    return true;
}

bool
isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int
hexValue(char c)
{
    if (isDigit(c)) {
	return c - '0';
    }
    c = lower(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

/* A dotted quad of exactly four numbers 0..255 without leading zeros. */
bool
parseIpv4(const std::string &text, size_t from, size_t to, std::string &bytes)
{
    std::string out;
    size_t i = from;
    for (int part = 0; part < 4; part++) {
	if (part > 0) {
	    if (i >= to || text[i] != '.') {
		return false;
	    }
	    i++;
	}
	size_t start = i;
	unsigned value = 0;
	while (i < to && isDigit(text[i]) && i - start < 3) {
	    value = value * 10 + static_cast<unsigned>(text[i] - '0');
	    i++;
	}
	size_t digits = i - start;
	if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) {
	    return false;
	}
	out.push_back(static_cast<char>(value));
    }
    if (i != to) {
	return false;
    }
    bytes = out;
    return true;
}

/*
 * The 16-bit groups of one side of an IPv6 address (the text before or
 * after "::"); a dotted quad may end it when lastSide. False when malformed.
 */
bool
parseGroups(const std::string &text, size_t from, size_t to, bool lastSide,
	std::vector<uint16_t> &groups)
{
    if (from == to) {
	return true;
    }
    size_t i = from;
    for (;;) {
	size_t end = text.find(':', i);
	if (end == std::string::npos || end > to) {
	    end = to;
	}
	if (end == i) {
	    return false;			/* an empty group */
	}
	if (end == to && lastSide && text.find('.', i) < to) {
	    std::string quad;
	    if (!parseIpv4(text, i, to, quad)) {
		return false;
	    }
	    groups.push_back(static_cast<uint16_t>(
		    (static_cast<uint8_t>(quad[0]) << 8) | static_cast<uint8_t>(quad[1])));
	    groups.push_back(static_cast<uint16_t>(
		    (static_cast<uint8_t>(quad[2]) << 8) | static_cast<uint8_t>(quad[3])));
	    return true;
	}
	if (end - i > 4) {
	    return false;
	}
	unsigned value = 0;
	for (size_t k = i; k < end; k++) {
	    int v = hexValue(text[k]);
	    if (v < 0) {
		return false;
	    }
	    value = value * 16 + static_cast<unsigned>(v);
	}
	groups.push_back(static_cast<uint16_t>(value));
	if (end == to) {
	    return true;
	}
	i = end + 1;
	if (i == to) {
	    return false;			/* a trailing single ':' */
	}
    }
}

bool
parseIpv6(const std::string &text, size_t from, size_t to, std::string &bytes)
{
    size_t gap = text.find("::", from);
    if (gap != std::string::npos && gap + 2 > to) {
	gap = std::string::npos;
    }
    std::vector<uint16_t> head, tail;
    if (gap == std::string::npos) {
	if (!parseGroups(text, from, to, true, head) || head.size() != 8) {
	    return false;
	}
    } else {
	if (text.find("::", gap + 1) < to) {
	    return false;			/* "::" twice (or ":::") */
	}
	if (!parseGroups(text, from, gap, false, head)
		|| !parseGroups(text, gap + 2, to, true, tail)
		|| head.size() + tail.size() > 7) {
	    return false;
	}
	head.resize(8 - tail.size(), 0);
	head.insert(head.end(), tail.begin(), tail.end());
    }
    std::string out;
    for (uint16_t g : head) {
	out.push_back(static_cast<char>(g >> 8));
	out.push_back(static_cast<char>(g & 0xFF));
    }
    bytes = out;
    return true;
}

/* An address as text: dotted for IPv4, RFC 5952's short form for IPv6. */
std::string
addressText(const std::string &bytes)
{
    char buffer[64];
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data());
    if (bytes.size() == 4) {
	snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
	return buffer;
    }
    if (bytes.size() != 16) {
	std::string out = "(";
	out += std::to_string(bytes.size());
	out += " bytes)";
	return out;
    }
    unsigned groups[8];
    for (int i = 0; i < 8; i++) {
	groups[i] = (static_cast<unsigned>(b[2 * i]) << 8) | b[2 * i + 1];
    }
    /* The longest run of two or more zero groups, the first of equals. */
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
	int j = i;
	while (j < 8 && groups[j] == 0) {
	    j++;
	}
	if (j - i > bestLength) {
	    bestStart = i;
	    bestLength = j - i;
	}
	i = j > i ? j : i + 1;
    }
    std::string out;
    for (int i = 0; i < 8; i++) {
	if (i == bestStart) {
	    out += "::";
	    i += bestLength - 1;
	    continue;
	}
	if (!out.empty() && out.back() != ':') {
	    out += ':';
	}
	snprintf(buffer, sizeof buffer, "%x", groups[i]);
	out += buffer;
    }
    return out;
}

/* One name as it may be printed: control bytes as '?', cut when long. */
std::string
shown(const std::string &name)
{
    std::string out;
    for (size_t i = 0; i < name.size() && i < MAX_NAME_SHOWN; i++) {
	unsigned char c = static_cast<unsigned char>(name[i]);
	out.push_back(c < 0x20 || c == 0x7F ? '?' : name[i]);
    }
    if (name.size() > MAX_NAME_SHOWN) {
	out += "...";
    }
    return out;
}

/* The host name as compared: one final dot dropped. */
std::string
withoutFinalDot(const std::string &name)
{
    if (name.size() > 1 && name.back() == '.') {
	return name.substr(0, name.size() - 1);
    }
    return name;
}

/* Whether a presented DNS name (or common name) names host, a host name. */
bool
dnsNameMatches(const std::string &presentedName, const std::string &host)
{
    if (presentedName.find('\0') != std::string::npos || host.empty()) {
	return false;
    }
    std::string presented = withoutFinalDot(presentedName);
    if (presented.compare(0, 2, "*.") != 0) {
	return presented.find('*') == std::string::npos && equalCaseBlind(presented, 0, host, 0);
    }
    /* "*.rest": rest has two labels or more, and no other '*'. */
    std::string rest = presented.substr(1);		/* ".x.test" */
    if (rest.find('*') != std::string::npos || rest.size() < 4 || rest.find('.', 2) == std::string::npos
	    || rest.back() == '.') {
	return false;
    }
    size_t dot = host.find('.');
    if (dot == std::string::npos || dot == 0) {
	return false;
    }
    return equalCaseBlind(host, dot, rest, 0);
}

} // namespace

bool
parseAddress(const std::string &text, std::string &bytes)
{
    size_t from = 0, to = text.size();
    if (to >= 2 && text[0] == '[' && text[to - 1] == ']') {
	from = 1;
	to--;
    }
    if (text.find(':', from) < to) {
	size_t zone = text.find('%', from);
	if (zone < to) {
	    to = zone;
	}
	return parseIpv6(text, from, to, bytes);
    }
    return from == 0 && parseIpv4(text, from, to, bytes);
}

bool
certificateFitsHost(const CertificateNames &names, const std::string &host)
{
    if (host.find('\0') != std::string::npos) {
	return false;
    }
    std::string address;
    if (parseAddress(host, address)) {
	for (const std::string &ip : names.ipAddresses) {
	    if (ip == address) {
		return true;
	    }
	}
	if (!names.hasSubjectAltName) {
	    for (const std::string &cn : names.commonNames) {
		std::string cnAddress;
		if (cn.find('\0') == std::string::npos && parseAddress(cn, cnAddress)
			&& cnAddress == address) {
		    return true;
		}
	    }
	}
	return false;
    }
    std::string name = withoutFinalDot(host);
    const std::vector<std::string> &presented =
	    names.hasSubjectAltName ? names.dnsNames : names.commonNames;
    for (const std::string &p : presented) {
	if (dnsNameMatches(p, name)) {
	    return true;
	}
    }
    return false;
}

std::string
certificateMismatchText(const CertificateNames &names, const std::string &host)
{
    std::vector<std::string> listed;
    if (names.hasSubjectAltName) {
	for (const std::string &d : names.dnsNames) {
	    listed.push_back("DNS:" + shown(d));
	}
	for (const std::string &ip : names.ipAddresses) {
	    listed.push_back("IP:" + addressText(ip));
	}
    } else {
	for (const std::string &cn : names.commonNames) {
	    listed.push_back(shown(cn));
	}
    }
    std::string list;
    for (size_t i = 0; i < listed.size() && i < MAX_NAMES_SHOWN; i++) {
	list += (i > 0 ? ", " : "") + listed[i];
    }
    if (listed.size() > MAX_NAMES_SHOWN) {
	list += ", and " + std::to_string(listed.size() - MAX_NAMES_SHOWN) + " more";
    }
    if (listed.empty()) {
	list = names.hasSubjectAltName ? "no DNS or IP entry" : "none";
    }
    return "hostname (" + shown(host) + ") does not match "
	    + (names.hasSubjectAltName ? "subjectAltName" : "common name")
	    + " in certificate (" + list + ")";
}

} // namespace hkdir
