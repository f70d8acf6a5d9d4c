/*
 * winLdap.cpp --
 *
 *	The LDAP client of ldapPlatform.h over the Windows LDAP library
 *	(WLDAP32), in its narrow (A) forms: names and values are the bytes the
 *	server sent.
 *
 *	open() sets protocol version 3 before it connects, and connects at
 *	once (ldap_connect), so that an unreachable server is a failed open.
 *	Paging uses the page control directly (ldap_create_page_control,
 *	ldap_search_ext, ldap_parse_page_control); the library's own
 *	ldap_search_init_page is not available everywhere (Wine).
 *
 *	TLS is the library's own: ldap_sslinit for ldaps, ldap_start_tls_s
 *	for StartTLS, with the certificate checked against the system's
 *	certificate store (a CA file is not read here). Time-outs: the
 *	connect time-out of ldap_connect, and an l_timeval on every wait;
 *	the bind is sent asynchronously and awaited with ldap_result, since a
 *	library may connect only when the first request goes out (Wine).
 */

#include "directory/ldapPlatform.h"

#include <windows.h>
#include <winldap.h>
#include <winber.h>

#include <cstring>
#include <string>

namespace hkldap {

namespace {

LDAP *
ld(Handle *handle)
{
    return reinterpret_cast<LDAP *>(handle);
}

LDAPMessage *
lm(RawMessage *msg)
{
    return reinterpret_cast<LDAPMessage *>(msg);
}

LDAPMessage *
le(RawEntry *entry)
{
    return reinterpret_cast<LDAPMessage *>(entry);
}

PCHAR
pc(const char *text)
{
    return const_cast<PCHAR>(text);
}

/* The time-out of a wait: nullptr (none) for 0 seconds. */
struct l_timeval *
waitBound(unsigned seconds, struct l_timeval &tv)
{
    if (seconds == 0) {
	return nullptr;
    }
    tv.tv_sec = static_cast<LONG>(seconds);
    tv.tv_usec = 0;
    return &tv;
}

/* The server's diagnostic message of the last operation; empty when none. */
std::string
serverErrorOf(LDAP *conn)
{
    std::string text;
    PCHAR message = nullptr;
    if (conn != nullptr && ldap_get_option(conn, LDAP_OPT_SERVER_ERROR, &message) == LDAP_SUCCESS
	    && message != nullptr) {
	text = message;
	ldap_memfreeA(message);
    }
    return text;
}

/*
 * Whether a connection to host and port can be made within seconds, in
 * clear. A failed ldaps connect says "server down" both for a server that
 * is not there and for a handshake or certificate check that failed: a
 * server that takes a plain connection is one whose TLS failed.
 */
bool
tcpReachable(const char *host, unsigned port, unsigned seconds)
{
    LDAP *conn = ldap_initA(pc(host), port);
    if (conn == nullptr) {
	return false;
    }
    struct l_timeval tv;
    bool reachable = ldap_connect(conn, waitBound(seconds, tv)) == LDAP_SUCCESS;
    ldap_unbind(conn);
    return reachable;
}

/* LDAP's codes are below this; a library may hand on a system's (WSAENOTCONN). */
const ULONG FIRST_SYSTEM_CODE = 0x100;

} // namespace

std::string
libraryText(unsigned long code)
{
    PCHAR text = ldap_err2stringA(static_cast<ULONG>(code));
    return text ? text : "";
}

void
Message::reset(RawMessage *msg)
{
    if (msg_ != nullptr) {
	ldap_msgfree(lm(msg_));
    }
    msg_ = msg;
}

StepResult
Connection::open(const char *host, unsigned port, const ConnectSettings &settings,
	Failure &failure)
{
    close();
    failure = Failure();
    LDAP *conn = settings.tls ? ldap_sslinitA(pc(host ? host : ""), port, 1)
	    : ldap_initA(pc(host ? host : ""), port);
    if (conn == nullptr) {
	failure.code = LdapGetLastError();
	failure.libraryText = libraryText(failure.code);
	return STEP_UNREACHABLE;
    }
    ULONG version = LDAP_VERSION3;
    ldap_set_option(conn, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (settings.tls) {
	ldap_set_option(conn, LDAP_OPT_SSL, LDAP_OPT_ON);
    }
    timeoutSeconds_ = settings.timeoutSeconds;
    struct l_timeval tv;
    ULONG rc = ldap_connect(conn, waitBound(timeoutSeconds_, tv));
    if (rc != LDAP_SUCCESS) {
	failure.code = rc;
	failure.libraryText = libraryText(rc);
	failure.serverText = serverErrorOf(conn);
	ldap_unbind(conn);
	if (rc == LDAP_TIMEOUT) {
	    return STEP_TIMED_OUT;
	}
	if (settings.tls && tcpReachable(host ? host : "", port, timeoutSeconds_)) {
	    if (failure.serverText.empty()) {
		failure.serverText = "TLS handshake or certificate check failed";
	    }
	    return STEP_TLS_FAILED;
	}
	return STEP_UNREACHABLE;
    }
    handle_ = reinterpret_cast<Handle *>(conn);
    return STEP_OK;
}

StepResult
Connection::startTls(Failure &failure)
{
    failure = Failure();
    ULONG serverReturn = 0;
    LDAPMessage *result = nullptr;
    ULONG rc = ldap_start_tls_sA(ld(handle_), &serverReturn, &result, nullptr, nullptr);
    if (result != nullptr) {
	ldap_msgfree(result);
    }
    if (rc == LDAP_SUCCESS) {
	return STEP_OK;
    }
    /* The server's own refusal, when it answered; else the library's failure. */
    failure.code = serverReturn != 0 ? serverReturn : rc;
    failure.libraryText = libraryText(failure.code);
    failure.serverText = serverErrorOf(ld(handle_));
    if (failure.code == LDAP_TIMEOUT) {
	return STEP_TIMED_OUT;
    }
    return STEP_TLS_FAILED;
}

void
Connection::close()
{
    if (handle_ != nullptr) {
	ldap_unbind(ld(handle_));
	handle_ = nullptr;
    }
}

int
Connection::simpleBind(const char *dn, const char *password, Failure &failure)
{
    failure = Failure();
    LDAP *conn = ld(handle_);
    ULONG id = ldap_simple_bindA(conn, (dn && *dn) ? pc(dn) : nullptr,
	    (password && *password) ? pc(password) : nullptr);
    if (id == static_cast<ULONG>(-1)) {
	failure = connectionFailure();
	return static_cast<int>(failure.code);
    }
    struct l_timeval tv;
    LDAPMessage *answer = nullptr;
    ULONG type = ldap_result(conn, id, LDAP_MSG_ALL, waitBound(timeoutSeconds_, tv), &answer);
    if (type == 0) {
	ldap_abandon(conn, id);
	failure = failureOf(LDAP_TIMEOUT);
	return LDAP_TIMEOUT;
    }
    if (type == static_cast<ULONG>(-1) || answer == nullptr) {
	failure = connectionFailure();
	return static_cast<int>(failure.code);
    }
    ULONG code = LDAP_OTHER;
    PCHAR message = nullptr;
    ULONG rc = ldap_parse_resultA(conn, answer, &code, nullptr, &message, nullptr, nullptr, TRUE);
    if (rc != LDAP_SUCCESS) {
	code = rc;
    }
    if (code != LDAP_SUCCESS) {
	failure.code = code;
	failure.libraryText = libraryText(code);
	failure.serverText = message ? message : "";
    }
    if (message != nullptr) {
	ldap_memfreeA(message);
    }
    return static_cast<int>(code);
}

int
Connection::setOption(Option option, uint32_t value)
{
    ULONG v = value;
    int number;
    switch (option) {
    case OPTION_PROTOCOL_VERSION:
	number = LDAP_OPT_PROTOCOL_VERSION;
	break;
    case OPTION_REFERRALS:
	/* Documented as the constants LDAP_OPT_ON / LDAP_OPT_OFF themselves. */
	return static_cast<int>(ldap_set_option(ld(handle_), LDAP_OPT_REFERRALS,
		value ? LDAP_OPT_ON : LDAP_OPT_OFF));
    case OPTION_DEREF:
	number = LDAP_OPT_DEREF;
	break;
    case OPTION_REFERRAL_HOP_LIMIT:
	number = LDAP_OPT_REFERRAL_HOP_LIMIT;
	break;
    default:
	return RC_NOT_SUPPORTED;
    }
    return static_cast<int>(ldap_set_option(ld(handle_), number, &v));
}

int
Connection::searchSync(const char *base, int scope, const char *filter, char **attributes,
	Message &result)
{
    LDAPMessage *msg = nullptr;
    struct l_timeval tv;
    ULONG rc = ldap_search_ext_sA(ld(handle_), pc(base), static_cast<ULONG>(scope), pc(filter),
	    attributes, 0, nullptr, nullptr, waitBound(timeoutSeconds_, tv), 0, &msg);
    result.reset(reinterpret_cast<RawMessage *>(msg));
    return static_cast<int>(rc);
}

int
Connection::searchAsync(const char *base, int scope, const char *filter, char **attributes,
	unsigned pageSize, const std::string &cookie, int *messageId)
{
    PLDAPControlA page = nullptr;
    PLDAPControlA controls[2] = {nullptr, nullptr};
    if (pageSize > 0) {
	struct berval c;
	c.bv_val = const_cast<char *>(cookie.data());
	c.bv_len = static_cast<ULONG>(cookie.size());
	ULONG rc = ldap_create_page_controlA(ld(handle_), pageSize, &c, FALSE, &page);
	if (rc != LDAP_SUCCESS) {
	    return static_cast<int>(rc);
	}
	controls[0] = page;
    }
    ULONG id = 0;
    ULONG rc = ldap_search_extA(ld(handle_), pc(base), static_cast<ULONG>(scope), pc(filter),
	    attributes, 0, page ? controls : nullptr, nullptr, 0, 0, &id);
    if (page != nullptr) {
	ldap_control_freeA(page);
    }
    *messageId = static_cast<int>(id);
    return static_cast<int>(rc);
}

int
Connection::waitOne(int messageId, Message &message)
{
    LDAPMessage *msg = nullptr;
    struct l_timeval tv;
    ULONG type = ldap_result(ld(handle_), static_cast<ULONG>(messageId), LDAP_MSG_ONE,
	    waitBound(timeoutSeconds_, tv), &msg);
    message.reset(reinterpret_cast<RawMessage *>(msg));
    return type == static_cast<ULONG>(-1) ? -1 : static_cast<int>(type);
}

RawEntry *
Connection::firstEntry(const Message &message)
{
    return reinterpret_cast<RawEntry *>(ldap_first_entry(ld(handle_), lm(message.get())));
}

RawEntry *
Connection::nextEntry(RawEntry *entry)
{
    return reinterpret_cast<RawEntry *>(ldap_next_entry(ld(handle_), le(entry)));
}

int
Connection::parseReference(const Message &reference, std::vector<std::string> &urls)
{
    PCHAR *refs = nullptr;
    urls.clear();
    ULONG rc = ldap_parse_referenceA(ld(handle_), lm(reference.get()), &refs);
    if (rc != LDAP_SUCCESS) {
	return static_cast<int>(rc);
    }
    for (PCHAR *r = refs; r && *r; r++) {
	urls.emplace_back(*r);
    }
    if (refs != nullptr) {
	ldap_value_freeA(refs);
    }
    return 0;
}

void
Connection::parseResult(const Message &result, FinalResult &out)
{
    ULONG code = 0;
    PLDAPControlA *controls = nullptr;
    PCHAR *refs = nullptr;
    PCHAR message = nullptr;
    out = FinalResult();
    ULONG rc = ldap_parse_resultA(ld(handle_), lm(result.get()), &code, nullptr, &message, &refs,
	    &controls, FALSE);
    if (rc != LDAP_SUCCESS) {
	out.code = static_cast<int>(rc);
	return;
    }
    out.code = static_cast<int>(code);
    if (message != nullptr) {
	out.diagnostic = message;
	ldap_memfreeA(message);
    }
    if (refs != nullptr) {
	for (PCHAR *r = refs; *r; r++) {
	    out.referrals.emplace_back(*r);
	}
	ldap_value_freeA(refs);
    }
    if (controls != nullptr) {
	ULONG estimate = 0;
	struct berval *c = nullptr;
	if (ldap_parse_page_controlA(ld(handle_), controls, &estimate, &c) == LDAP_SUCCESS) {
	    out.hasPageControl = true;
	    if (c != nullptr) {
		if (c->bv_val != nullptr) {
		    out.cookie.assign(c->bv_val, c->bv_len);
		}
		ber_bvfree(c);
	    }
	}
	ldap_controls_freeA(controls);
    }
}

unsigned long
Connection::lastError()
{
    return LdapGetLastError();
}

/*
 * The failure of a request that found no server: a library that connects
 * only when the first request goes out (Wine) tells it with a system code
 * (a socket error), which stands here as "server down", its number kept.
 */
Failure
Connection::connectionFailure()
{
    ULONG code = LdapGetLastError();
    if (code == LDAP_SUCCESS || code >= FIRST_SYSTEM_CODE) {
	Failure failure = failureOf(LDAP_SERVER_DOWN);
	if (code != LDAP_SUCCESS) {
	    failure.serverText = "system error " + std::to_string(code);
	}
	return failure;
    }
    return failureOf(code);
}

Failure
Connection::failureOf(unsigned long code)
{
    Failure failure;
    failure.code = code;
    failure.libraryText = libraryText(code);
    failure.serverText = serverErrorOf(ld(handle_));
    return failure;
}

AttributeWalk::AttributeWalk(Connection &connection, RawEntry *entry)
    : connection_(connection), entry_(entry)
{
}

AttributeWalk::~AttributeWalk()
{
    freeName();
    if (walk_ != nullptr) {
	ber_free(reinterpret_cast<BerElement *>(walk_), 0);
    }
}

void
AttributeWalk::freeName()
{
    if (values_ != nullptr) {
	ldap_value_free_len(reinterpret_cast<struct berval **>(values_));
	values_ = nullptr;
    }
    if (name_ != nullptr) {
	ldap_memfreeA(name_);
	name_ = nullptr;
    }
}

const char *
AttributeWalk::next()
{
    freeName();
    LDAP *conn = ld(connection_.handle());
    if (!started_) {
	started_ = true;
	BerElement *ber = nullptr;
	name_ = ldap_first_attributeA(conn, le(entry_), &ber);
	walk_ = reinterpret_cast<RawAttributeWalk *>(ber);
    } else if (walk_ != nullptr) {
	name_ = ldap_next_attributeA(conn, le(entry_), reinterpret_cast<BerElement *>(walk_));
    }
    return name_;
}

/* WLDAP32 offers no walk with values: each attribute's values are asked for by name. */
bool
AttributeWalk::firstValue(const char **data, size_t *length)
{
    if (name_ == nullptr) {
	return false;
    }
    if (values_ == nullptr) {
	values_ = reinterpret_cast<RawValues *>(ldap_get_values_lenA(
		reinterpret_cast<LDAP *>(connection_.handle()), le(entry_), name_));
    }
    struct berval **values = reinterpret_cast<struct berval **>(values_);
    if (values == nullptr || values[0] == nullptr || values[0]->bv_val == nullptr) {
	return false;
    }
    *data = values[0]->bv_val;
    *length = values[0]->bv_len;
    return true;
}

ValueList::ValueList(Connection &connection, RawEntry *entry, const char *attribute)
{
    struct berval **v = ldap_get_values_lenA(reinterpret_cast<LDAP *>(connection.handle()),
	    le(entry), pc(attribute));
    values_ = reinterpret_cast<RawValues *>(v);
    count_ = v ? static_cast<size_t>(ldap_count_values_len(v)) : 0;
}

ValueList::~ValueList()
{
    if (values_ != nullptr) {
	ldap_value_free_len(reinterpret_cast<struct berval **>(values_));
    }
}

const char *
ValueList::data(size_t i) const
{
    return reinterpret_cast<struct berval **>(values_)[i]->bv_val;
}

size_t
ValueList::length(size_t i) const
{
    return reinterpret_cast<struct berval **>(values_)[i]->bv_len;
}

} // namespace hkldap
