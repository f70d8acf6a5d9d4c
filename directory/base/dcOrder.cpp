/*
 * dcOrder.cpp --
 *
 *	The order of a domain's servers (see dcOrder.h).
 */

#include "directory/base/dcOrder.h"

#include "directory/base/searchText.h"

#include <algorithm>

namespace hkdir {

std::vector<DcServer>
orderDcServers(std::vector<DcServer> servers)
{
    for (DcServer &s : servers) {
	if (!s.host.empty() && s.host.back() == '.') {
	    s.host.pop_back();
	}
    }
    servers.erase(std::remove_if(servers.begin(), servers.end(),
	    [](const DcServer &s) { return s.host.empty(); }), servers.end());
    std::stable_sort(servers.begin(), servers.end(), [](const DcServer &a, const DcServer &b) {
	return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    std::vector<DcServer> out;
    for (const DcServer &s : servers) {
	auto same = std::find_if(out.begin(), out.end(), [&s](const DcServer &o) {
	    return equalsCaseBlind(o.host.c_str(), s.host.c_str());
	});
	if (same == out.end()) {
	    out.push_back(s);
	} else if (same->port == 0) {
	    same->port = s.port;
	}
    }
    return out;
}

unsigned
dcServerPort(unsigned recordPort, unsigned portOption, bool ldaps)
{
    if (portOption != 0) {
	return portOption;
    }
    if (ldaps) {
	return HK_LDAPS_PORT;
    }
    return recordPort != 0 ? recordPort : HK_LDAP_DEFAULT_PORT;
}

std::vector<std::string>
splitServers(const std::string &word)
{
    std::vector<std::string> names;
    const char *blanks = " \t\r\n\v\f";
    size_t at = word.find_first_not_of(blanks);
    while (at != std::string::npos) {
	size_t end = word.find_first_of(blanks, at);
	names.push_back(word.substr(at, end == std::string::npos ? end : end - at));
	at = end == std::string::npos ? end : word.find_first_not_of(blanks, end);
    }
    return names;
}

} // namespace hkdir
