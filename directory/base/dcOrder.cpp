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
	bool seen = false;
	for (const DcServer &o : out) {
	    seen = seen || equalsCaseBlind(o.host.c_str(), s.host.c_str());
	}
	if (!seen) {
	    out.push_back(s);
	}
    }
    return out;
}

std::vector<std::string>
splitServers(const std::string &word)
{
    return splitAttributes(word);
}

} // namespace hkdir
