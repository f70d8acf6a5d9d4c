/*
 * unixDc.cpp --
 *
 *	Finding a domain's controllers through the resolver (libresolv): the
 *	SRV records of _ldap._tcp.dc._msdcs.NAME, read with ns_parserr. The
 *	query runs on a resolver state of its own (res_ninit), so that the
 *	process's resolver state stays as it is; EDNS0 lets a long list of
 *	servers come in one UDP answer.
 *
 *	The resolver bounds its UDP tries (set here to share the time-out
 *	among the name servers), but not its TCP fallback: an answer too long
 *	for UDP is asked for again over TCP, with a blocking connect and
 *	reads without end. So the query runs on a thread of its own, and one
 *	not answered in time is left to that thread, which frees what it got.
 */

#include "directory/dcPlatform.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

/* What one look-up found. */
struct Found {
    HkpDcStatus status = HKP_DC_FAILED;
    std::vector<hkdir::DcServer> servers;
    std::string reason;
};

/* The look-up itself, each try of a name server bounded by the time-out. */
Found
lookUp(const std::string &name, unsigned timeoutSeconds)
{
    Found found;
    Resolver resolver;
    if (!resolver.ok()) {
	found.reason = "the resolver cannot be set up";
	return found;
    }
    res_state state = resolver.get();
    state->options |= RES_USE_EDNS0;
    if (timeoutSeconds > 0) {
	/* One try per name server, the time shared among them. */
	int perServer = static_cast<int>(timeoutSeconds)
		/ (state->nscount > 0 ? state->nscount : 1);
	state->retrans = perServer > 0 ? perServer : 1;
	state->retry = 1;
    }
    std::unique_ptr<unsigned char[]> answer(new unsigned char[NS_MAXMSG]);
    auto started = std::chrono::steady_clock::now();
    int length = res_nquery(state, name.c_str(), ns_c_in, ns_t_srv, answer.get(), NS_MAXMSG);
    if (length < 0) {
	auto spent = std::chrono::steady_clock::now() - started;
	switch (state->res_h_errno) {
	case HOST_NOT_FOUND:
	    found.status = HKP_DC_NO_NAME;
	    break;
	case NO_DATA:
	    found.status = HKP_DC_NO_RECORD;
	    break;
	case TRY_AGAIN:
	    /*
	     * No answer, or a name server that failed: tries that took the
	     * time-out were not answered.
	     */
	    if (timeoutSeconds > 0 && spent + std::chrono::milliseconds(500)
		    >= std::chrono::seconds(timeoutSeconds)) {
		found.status = HKP_DC_TIMED_OUT;
		break;
	    }
	    /* FALLTHRU */
	default:
	    found.reason = hstrerror(state->res_h_errno);
	    break;
	}
	return found;
    }
    std::vector<hkdir::DcServer> listed;
    if (!readServers(answer.get(), length, listed)) {
	found.reason = "the answer cannot be read";
	return found;
    }
    found.servers = hkdir::orderDcServers(listed);
    found.status = found.servers.empty() ? HKP_DC_NO_RECORD : HKP_DC_FOUND;
    return found;
}

/* One look-up shared by the caller and the thread that runs it. */
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Found found;
};

} // namespace

HkpDcStatus
HkpFindDomainControllers(const std::string &domain, unsigned timeoutSeconds,
	std::vector<hkdir::DcServer> &servers, std::string &reason)
{
    servers.clear();
    reason.clear();
    std::string name = HkpDcRecordName(domain);
    Found found;
    if (timeoutSeconds == 0) {
	found = lookUp(name, 0);
    } else {
	auto lookup = std::make_shared<Lookup>();
	try {
	    std::thread([lookup, name, timeoutSeconds]() {
		Found result = lookUp(name, timeoutSeconds);
		std::lock_guard<std::mutex> lock(lookup->mutex);
		lookup->found = std::move(result);
		lookup->finished = true;
		lookup->done.notify_one();
	    }).detach();
	} catch (const std::system_error &) {
	    /* No thread to be had: look up here, the UDP tries still bounded. */
	    found = lookUp(name, timeoutSeconds);
	    lookup.reset();
	}
	if (lookup) {
	    std::unique_lock<std::mutex> lock(lookup->mutex);
	    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
	    if (!lookup->done.wait_until(lock, deadline, [&lookup] { return lookup->finished; })) {
		return HKP_DC_TIMED_OUT;
	    }
	    found = std::move(lookup->found);
	}
    }
    servers = std::move(found.servers);
    reason = std::move(found.reason);
    return found.status;
}
