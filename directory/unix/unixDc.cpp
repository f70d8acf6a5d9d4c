/*
 * unixDc.cpp --
 *
 *	Finding a domain's controllers through the resolver (libresolv): the
 *	SRV records of _ldap._tcp.dc._msdcs.NAME, read with ns_parserr. The
 *	query runs on a resolver state of its own (res_ninit), whose time-out
 *	per try and number of tries are set so that the look-up ends within
 *	the time-out whatever the name servers do; the process's resolver
 *	state stays as it is.
 */

#include "directory/dcPlatform.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstring>
#include <memory>

namespace {

/* The resolver state of one look-up, closed with it. */
class Resolver {
public:
    Resolver() { memset(&state_, 0, sizeof state_); ok_ = res_ninit(&state_) == 0; }
    ~Resolver() { res_nclose(&state_); }
    Resolver(const Resolver &) = delete;
    Resolver &operator=(const Resolver &) = delete;

    bool ok() const { return ok_; }
    res_state get() { return &state_; }

private:
    struct __res_state state_;
    bool ok_;
};

/* The SRV records of an answer; false when it cannot be parsed. */
bool
readServers(const unsigned char *answer, int length, std::vector<hkdir::DcServer> &servers)
{
    ns_msg message;
    if (ns_initparse(answer, length, &message) != 0) {
	return false;
    }
    int count = ns_msg_count(message, ns_s_an);
    for (int i = 0; i < count; i++) {
	ns_rr record;
	if (ns_parserr(&message, ns_s_an, i, &record) != 0) {
	    return false;
	}
	if (ns_rr_type(record) != ns_t_srv || ns_rr_rdlen(record) < 7) {
	    continue;
	}
	const unsigned char *data = ns_rr_rdata(record);
	hkdir::DcServer server;
	server.priority = ns_get16(data);
	server.weight = ns_get16(data + 2);
	server.port = ns_get16(data + 4);
	char target[NS_MAXDNAME];
	if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target,
		sizeof target) < 0) {
	    return false;
	}
	server.host = target;
	servers.push_back(server);
    }
    return true;
}

} // namespace

HkpDcStatus
HkpFindDomainControllers(const std::string &domain, unsigned timeoutSeconds,
	std::vector<hkdir::DcServer> &servers, std::string &reason)
{
    servers.clear();
    reason.clear();
    Resolver resolver;
    if (!resolver.ok()) {
	reason = "the resolver cannot be set up";
	return HKP_DC_FAILED;
    }
    res_state state = resolver.get();
    if (timeoutSeconds > 0) {
	/* One try per name server, the time shared among them. */
	int perServer = static_cast<int>(timeoutSeconds)
		/ (state->nscount > 0 ? state->nscount : 1);
	state->retrans = perServer > 0 ? perServer : 1;
	state->retry = 1;
    }
    std::unique_ptr<unsigned char[]> answer(new unsigned char[NS_MAXMSG]);
    int length = res_nquery(state, HkpDcRecordName(domain).c_str(), ns_c_in, ns_t_srv,
	    answer.get(), NS_MAXMSG);
    if (length < 0) {
	switch (state->res_h_errno) {
	case HOST_NOT_FOUND:
	case NO_DATA:
	    reason = hstrerror(state->res_h_errno);
	    return HKP_DC_NONE;
	case TRY_AGAIN:
	    reason = "no answer from the name servers";
	    return HKP_DC_TIMED_OUT;
	default:
	    reason = hstrerror(state->res_h_errno);
	    return HKP_DC_FAILED;
	}
    }
    std::vector<hkdir::DcServer> found;
    if (!readServers(answer.get(), length, found)) {
	reason = "the answer cannot be read";
	return HKP_DC_FAILED;
    }
    servers = hkdir::orderDcServers(found);
    if (servers.empty()) {
	reason = "no server offers the service";
	return HKP_DC_NONE;
    }
    return HKP_DC_FOUND;
}
