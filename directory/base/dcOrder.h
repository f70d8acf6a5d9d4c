/*
 * dcOrder.h --
 *
 *	The order in which to try the servers of a domain's SRV records, the
 *	port each is spoken to on, and the list of servers a script names in
 *	one word.
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
    unsigned port = 0;		/* 0: the record gave none */
    unsigned priority = 0;
    unsigned weight = 0;
};

/*
 * The servers in the order to try them: lowest priority first, within a
 * priority the highest weight first, then as the records came. Records
 * whose target is "." (the service is not offered) go; a final dot of a
 * target goes; of a target named twice (case-blind) the first place
 * stays, and a port that only the later record gives is kept with it.
 */
std::vector<DcServer> orderDcServers(std::vector<DcServer> servers);

/*
 * The port of a domain's server: the port option when it names one
 * (portOption not 0), otherwise 636 with ldaps, otherwise the record's
 * port, 389 when it has none.
 */
unsigned dcServerPort(unsigned recordPort, unsigned portOption, bool ldaps);

/*
 * The server names of a server word: names separated by white space
 * (blanks, tabs, line ends), so that a Tcl list of names is one too.
 */
std::vector<std::string> splitServers(const std::string &word);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_DC_ORDER_H */
