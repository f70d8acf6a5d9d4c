/*
 * unixNegotiate.cpp --
 *
 *	The negotiate bind of the Linux LDAP client: SASL (GSSAPI or
 *	GSS-SPNEGO) through libldap and Cyrus SASL, with the Kerberos ticket
 *	of the user's credential cache (KRB5CCNAME, or the default one).
 *
 *	The server's host name is taken as it was given (SASL_NOCANON): the
 *	service principal is ldap/<that name>, never a name libldap would make
 *	of the peer's address (for a server on loopback, the local host's).
 *	Without TLS the SASL security layer signs and seals what follows (a
 *	domain controller refuses Kerberos binds without); over TLS no layer
 *	is asked for (maxssf=0: Active Directory refuses one inside TLS), and
 *	the TLS channel binding (tls-server-end-point) goes with the bind:
 *	libldap computes it from the TLS session, which the client's own TLS
 *	layer hands it (unixTls.cpp).
 *
 *	The bind is asynchronous (ldap_sasl_interactive_bind, each answer
 *	awaited with ldap_result). Its first step also asks the Kerberos KDC
 *	for a ticket of the server's service, which nothing bounds (MIT
 *	Kerberos gives a silent KDC about half a minute). So a bounded bind
 *	runs on a thread of its own: one not over in time is left to that
 *	thread, which then owns the connection and closes it when it ends.
 */

#include "directory/ldapPlatform.h"

#include "directory/unix/unixLdap.h"
#include "directory/unix/unixTls.h"

#include <ldap.h>
#include <sasl/sasl.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace hkldap {

namespace {

using Clock = std::chrono::steady_clock;

/*
 * Answers the SASL library's questions: none of them has an answer of the
 * caller's (the authorization identity is the ticket's own), so each takes
 * its default, or nothing.
 */
int
answerPrompts(LDAP *, unsigned, void *, void *prompts)
{
    for (sasl_interact_t *p = static_cast<sasl_interact_t *>(prompts);
	    p != nullptr && p->id != SASL_CB_LIST_END; p++) {
	const char *value = p->defresult != nullptr ? p->defresult : "";
	p->result = value;
	p->len = static_cast<unsigned>(strlen(value));
    }
    return LDAP_SUCCESS;
}

/* One negotiate bind, shared by the caller and the thread that may run it. */
struct Bind {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;	/* the caller has gone: the thread closes conn */
    LDAP *conn = nullptr;
    std::string mechanism;
    bool bounded = false;
    Clock::time_point deadline;
    int rc = RC_LOCAL_ERROR;
    Failure failure;
};

/* What is left of the bind's time in milliseconds; -1: no bound. */
long long
leftOf(const Bind &bind)
{
    if (!bind.bounded) {
	return -1;
    }
    long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
	    bind.deadline - Clock::now()).count();
    return left > 0 ? left : 0;
}

/*
 * The SASL exchange: each step's request, then the server's answer within
 * what is left of the time, until the library says it is over. Sets rc
 * (0 or a result code) and failure.
 */
void
exchange(Bind &bind)
{
    LDAP *conn = bind.conn;
    LDAPMessage *answer = nullptr;
    const char *chosen = nullptr;
    int messageId = 0;
    int rc;
    for (;;) {
	rc = ldap_sasl_interactive_bind(conn, nullptr, bind.mechanism.c_str(), nullptr, nullptr,
		LDAP_SASL_QUIET, answerPrompts, nullptr, answer, &chosen, &messageId);
	ldap_msgfree(answer);
	answer = nullptr;
	if (rc != LDAP_SASL_BIND_IN_PROGRESS) {
	    rc = commonCode(rc);
	    break;
	}
	rc = waitAnswer(conn, messageId, leftOf(bind), &answer);
	if (rc != 0) {
	    break;
	}
    }
    bind.rc = rc;
    bind.failure = Failure();
    if (rc == 0) {
	return;
    }
    bind.failure.code = static_cast<unsigned long>(rc);
    bind.failure.libraryText = libraryText(bind.failure.code);
    bind.failure.serverText = diagnosticOf(conn);
    /* A server that ends the TLS session it set up (see simpleBind). */
    std::string refusal = tlsRefusal(conn);
    if (!refusal.empty()) {
	bind.rc = RC_CONNECT_ERROR;
	bind.failure.code = RC_CONNECT_ERROR;
	bind.failure.libraryText = libraryText(RC_CONNECT_ERROR);
	bind.failure.serverText = refusal;
    }
}

} // namespace

int
Connection::negotiateBind(const std::string &mechanism, Failure &failure)
{
    failure = Failure();
    LDAP *conn = reinterpret_cast<LDAP *>(handle_);
    ldap_set_option(conn, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    ber_len_t minSsf = tls_ ? 0 : 1;
    ber_len_t maxSsf = tls_ ? 0 : INT_MAX;
    ldap_set_option(conn, LDAP_OPT_X_SASL_SSF_MIN, &minSsf);
    ldap_set_option(conn, LDAP_OPT_X_SASL_SSF_MAX, &maxSsf);
    if (tls_) {
	int binding = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
	ldap_set_option(conn, LDAP_OPT_X_SASL_CBINDING, &binding);
    }

    auto bind = std::make_shared<Bind>();
    bind->conn = conn;
    bind->mechanism = mechanism;
    long long limit = waitLimit();
    bind->bounded = limit >= 0;
    bind->deadline = Clock::now() + std::chrono::milliseconds(limit > 0 ? limit : 0);
    bool threaded = false;
    if (bind->bounded) {
	try {
	    std::thread([bind]() {
		exchange(*bind);
		std::lock_guard<std::mutex> lock(bind->mutex);
		if (bind->abandoned) {
		    ldap_unbind_ext(bind->conn, nullptr, nullptr);
		    return;
		}
		bind->finished = true;
		bind->done.notify_one();
	    }).detach();
	    threaded = true;
	} catch (const std::system_error &) {
	    /* No thread to be had: bind here, the server's answers still bounded. */
	}
    }
    if (!threaded) {
	exchange(*bind);
    } else {
	std::unique_lock<std::mutex> lock(bind->mutex);
	if (!bind->done.wait_until(lock, bind->deadline, [&bind] { return bind->finished; })) {
	    /* The connection is the thread's now; this one has none. */
	    bind->abandoned = true;
	    handle_ = nullptr;
	    tls_ = false;
	    failure.code = RC_TIMEOUT;
	    failure.libraryText = libraryText(RC_TIMEOUT);
	    return RC_TIMEOUT;
	}
    }
    failure = bind->failure;
    return bind->rc;
}

} // namespace hkldap
