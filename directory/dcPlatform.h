/*
 * dcPlatform.h --
 *
 *	Finding the domain controllers of a domain by its name: the servers
 *	that the domain's DNS names in its SRV records
 *	_ldap._tcp.dc._msdcs.NAME, in the order to try them (base/dcOrder.h).
 *	Defined by directory/unix/unixDc.cpp (the resolver of libresolv) and
 *	directory/win/winDc.cpp (the domain controller locator, DsGetDcNameW,
 *	then the DNS client, DnsQuery_W).
 */

#ifndef HOSTKIT_DC_PLATFORM_H
#define HOSTKIT_DC_PLATFORM_H

#include "directory/base/dcOrder.h"

#include <string>
#include <vector>

enum HkpDcStatus {
    HKP_DC_FOUND,		/* at least one server */
    HKP_DC_NO_NAME,		/* the name does not exist */
    HKP_DC_NO_RECORD,		/* the name has no such record, or only records
				 * of "." (the service is not offered) */
    HKP_DC_TIMED_OUT,		/* no answer within the time-out */
    HKP_DC_FAILED		/* the look-up failed otherwise: reason says why */
};

/* The SRV record name looked up for a domain. */
inline std::string
HkpDcRecordName(const std::string &domain)
{
    return "_ldap._tcp.dc._msdcs." + domain;
}

/*
 * Looks up the domain controllers of domain within timeoutSeconds (0: no
 * bound of its own). On HKP_DC_FOUND servers holds them in the order to
 * try them; on HKP_DC_FAILED reason says what the system said. A look-up
 * that runs out of time is left to finish on a thread of its own.
 */
HkpDcStatus HkpFindDomainControllers(const std::string &domain, unsigned timeoutSeconds,
	std::vector<hkdir::DcServer> &servers, std::string &reason);

#endif /* HOSTKIT_DC_PLATFORM_H */
