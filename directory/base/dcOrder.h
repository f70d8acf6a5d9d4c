/*
 * dcOrder.h --
 *
 *	The order in which to try the servers of a domain's SRV records, and
 *	the list of servers a script names in one word.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_DC_ORDER_H
#define HOSTKIT_DIRECTORY_BASE_DC_ORDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace hkdir {

/* One server of an SRV record. */
struct DcServer {
    std::string host;		/* the target, without a final dot */
    unsigned port = 0;
    unsigned priority = 0;
    unsigned weight = 0;
};

/*
 * The servers in the order to try them: lowest priority first, within a
 * priority the highest weight first, then as the records came. Records
 * whose target is "." (the service is not offered) and repeated targets
 * go; a final dot of a target goes.
 */
std::vector<DcServer> orderDcServers(std::vector<DcServer> servers);

/* The server names of a server word: names separated by blanks. */
std::vector<std::string> splitServers(const std::string &word);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_DC_ORDER_H */
