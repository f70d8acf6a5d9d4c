/*
 * unixLdap.cpp --
 *
 *	The LDAP client of ldapPlatform.h over OpenLDAP's libldap.
 *
 *	libldap differs from the Windows library in three ways that matter
 *	here: it starts with protocol version 2, which servers refuse for
 *	binds, so open() sets version 3 first; it connects lazily, so open()
 *	connects at once to tell an unreachable server from a refused bind;
 *	and it numbers its client-side failures negatively (-1 server down
 *	... -17 referral limit exceeded), which the Windows library numbers
 *	0x51 ... 0x61, so such codes are turned into the latter.
 *
 *	TLS is the client's own (unixTls.h), not libldap's: the trusted CAs
 *	of the cacertfile option, else of ldap.conf and the LDAPTLS_*
 *	environment, loaded for each connection and only when it speaks TLS;
 *	the server's certificate and its host name are always checked. Every
 *	wait is bounded by the connection's time-out: the connect and the
 *	handshake here, the bind, StartTLS and the searches through the
 *	time-out given to each ldap_result.
 */

#include "directory/ldapPlatform.h"

#include "directory/unix/unixLdap.h"
#include "directory/unix/unixTls.h"

#include <ldap.h>

#include <openldap.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

/*
 * libldap's client-side codes run from LDAP_SERVER_DOWN (-1) to
 * LDAP_CLIENT_LOOP (-17); the Windows library numbers the same failures
 * from 0x51 on.
 */
const int LIBLDAP_LAST_CLIENT_CODE = -17;
const int WINDOWS_CLIENT_CODE_BASE = 0x50;

/* libldap's numbering of a code of the common numbering. */
int
libldapCode(unsigned long code)
{
    if (code > WINDOWS_CLIENT_CODE_BASE
	    && code <= static_cast<unsigned long>(WINDOWS_CLIENT_CODE_BASE - LIBLDAP_LAST_CLIENT_CODE)) {
	return WINDOWS_CLIENT_CODE_BASE - static_cast<int>(code);
    }
    return static_cast<int>(code);
}

/* The time-out of a wait: nullptr (none) for 0 seconds. */
struct timeval *
waitBound(unsigned seconds, struct timeval &tv)
{
    if (seconds == 0) {
	return nullptr;
    }
    tv.tv_sec = static_cast<time_t>(seconds);
    tv.tv_usec = 0;
    return &tv;
}

/* The time-out of a wait of milliseconds: nullptr (none) for -1. */
struct timeval *
waitBoundMs(long long milliseconds, struct timeval &tv)
{
    if (milliseconds < 0) {
	return nullptr;
    }
    tv.tv_sec = static_cast<time_t>(milliseconds / 1000);
    tv.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
    return &tv;
}

/* The step result of a StartTLS request that failed before the server answered it. */
StepResult
stepOf(unsigned long code)
{
    return code == RC_TIMEOUT ? STEP_TIMED_OUT : STEP_UNREACHABLE;
}

/* One name being resolved, shared by the caller and the resolving thread. */
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;	/* the caller has gone: the thread frees the result */
    int rc = EAI_AGAIN;
    struct addrinfo *addresses = nullptr;
};

/*
 * getaddrinfo() for host and port, given up at the deadline when bounded.
 * The system's resolver takes no time limit (a silent name server holds it
 * for its own time-outs and retries, per name), so a name runs on a thread
 * of its own; one not resolved in time is left to that thread, which frees
 * what it gets. Addresses in figures need no thread. Returns getaddrinfo()'s
 * code, or EAI_AGAIN with timedOut set.
 */
int
resolveWithin(const std::string &host, unsigned port, bool bounded,
	std::chrono::steady_clock::time_point deadline, struct addrinfo **out, bool &timedOut)
{
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    std::string service = std::to_string(port);
    timedOut = false;
    *out = nullptr;

    struct addrinfo numeric = hints;
    numeric.ai_flags = AI_NUMERICHOST;
    if (!bounded || getaddrinfo(host.c_str(), service.c_str(), &numeric, out) == 0) {
	return *out != nullptr ? 0 : getaddrinfo(host.c_str(), service.c_str(), &hints, out);
    }

    auto resolution = std::make_shared<Resolution>();
    try {
	std::thread([resolution, host, service, hints]() {
	    struct addrinfo *addresses = nullptr;
	    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
	    std::lock_guard<std::mutex> lock(resolution->mutex);
	    if (resolution->abandoned) {
		if (rc == 0) {
		    freeaddrinfo(addresses);
		}
		return;
	    }
	    resolution->rc = rc;
	    resolution->addresses = addresses;
	    resolution->finished = true;
	    resolution->done.notify_one();
	}).detach();
    } catch (const std::system_error &) {
	/* No thread to be had: resolve here, unbounded. */
	return getaddrinfo(host.c_str(), service.c_str(), &hints, out);
    }
    std::unique_lock<std::mutex> lock(resolution->mutex);
    if (!resolution->done.wait_until(lock, deadline, [&resolution] { return resolution->finished; })) {
	resolution->abandoned = true;
	timedOut = true;
	return EAI_AGAIN;
    }
    *out = resolution->addresses;
    return resolution->rc;
}

/*
 * Connects a TCP socket to host and port within seconds (0: no bound),
 * name resolution included, trying each address of the name in turn.
 * Returns the socket, blocking, or -1 with the failure: RC_TIMEOUT, or
 * RC_SERVER_DOWN with the system's reason.
 */
int
connectSocket(const std::string &host, unsigned port, unsigned seconds, Failure &failure)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    struct addrinfo *addresses = nullptr;
    bool timedOut = false;
    int rc = resolveWithin(host, port, seconds > 0, deadline, &addresses, timedOut);
    if (timedOut) {
	failure.code = RC_TIMEOUT;
	failure.serverText = "name resolution";
	return -1;
    }
    if (rc != 0) {
	failure.code = RC_SERVER_DOWN;
	failure.serverText = gai_strerror(rc);
	return -1;
    }
    int fd = -1;
    failure.code = RC_SERVER_DOWN;
    for (struct addrinfo *a = addresses; a != nullptr && fd < 0; a = a->ai_next) {
	int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
	if (s < 0) {
	    failure.serverText = strerror(errno);
	    continue;
	}
	int error = connect(s, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
	if (error == EINPROGRESS) {
	    struct pollfd p = {s, POLLOUT, 0};
	    int wait = -1;
	    if (seconds > 0) {
		auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
			deadline - std::chrono::steady_clock::now()).count();
		wait = left > 0 ? static_cast<int>(left) : 0;
	    }
	    int ready;
	    do {
		ready = poll(&p, 1, wait);
	    } while (ready < 0 && errno == EINTR);
	    if (ready == 0) {
		close(s);
		failure.code = RC_TIMEOUT;
		failure.serverText.clear();
		break;
	    }
	    socklen_t length = sizeof error;
	    if (ready < 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
		error = errno;
	    }
	}
	if (error != 0) {
	    failure.serverText = strerror(error);
	    close(s);
	    continue;
	}
	int flags = fcntl(s, F_GETFL);
	fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
	int on = 1;
	setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
	setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
	fd = s;
    }
    freeaddrinfo(addresses);
    if (fd >= 0) {
	failure = Failure();
    }
    return fd;
}

/*
 * Bounds each blocking read and write of the socket (0: none). libldap
 * reads a message's rest without waiting for data first: a server that
 * announces a long message and sends no more would hold it for ever.
 */
void
boundReads(LDAP *conn, unsigned seconds)
{
    ber_socket_t fd = -1;
    if (ldap_get_option(conn, LDAP_OPT_DESC, &fd) != 0 || fd < 0) {
	return;
    }
    struct timeval tv = {static_cast<time_t>(seconds), 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

} // namespace

/* libldap's client-side codes in the numbering of the Windows library. */
int
commonCode(int rc)
{
    if (rc < 0 && rc >= LIBLDAP_LAST_CLIENT_CODE) {
	return WINDOWS_CLIENT_CODE_BASE - rc;
    }
    if (rc < 0) {
	return RC_LOCAL_ERROR;
    }
    return rc;
}

std::string
diagnosticOf(LDAP *conn)
{
    /* The library's text for a message it has no text for. */
    static const char NO_TEXT[] = "(unknown error code)";
    std::string text;
    char *message = nullptr;
    if (conn != nullptr && ldap_get_option(conn, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) == 0
	    && message != nullptr) {
	text = message;
	ldap_memfree(message);
    }
    return text == NO_TEXT ? std::string() : text;
}

/*
 * Waits for the final answer of one operation within the connection's
 * time-out: 0 with the message, RC_TIMEOUT (the operation is abandoned),
 * or the code of the failure.
 */
int
waitAnswer(LDAP *conn, int messageId, long long milliseconds, LDAPMessage **answer)
{
    struct timeval tv;
    *answer = nullptr;
    int type = ldap_result(conn, messageId, LDAP_MSG_ALL, waitBoundMs(milliseconds, tv), answer);
    if (type == 0) {
	ldap_abandon_ext(conn, messageId, nullptr, nullptr);
	return RC_TIMEOUT;
    }
    if (type < 0 || *answer == nullptr) {
	int rc = LDAP_SERVER_DOWN;
	ldap_get_option(conn, LDAP_OPT_RESULT_CODE, &rc);
	return commonCode(rc == LDAP_SUCCESS ? LDAP_SERVER_DOWN : rc);
    }
    return 0;
}

std::string
libraryText(unsigned long code)
{
    const char *text = ldap_err2string(libldapCode(code));
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
    std::string h = host ? host : "";
    std::string url = "ldap://";
    if (h.find(':') != std::string::npos && h.front() != '[') {
	url += "[" + h + "]";		/* an IPv6 address */
    } else {
	url += h;
    }
    url += ":" + std::to_string(port);
    if (h.size() > 1 && h.front() == '[' && h.back() == ']') {
	h = h.substr(1, h.size() - 2);
    }
    host_ = h;
    caCertFile_ = settings.caCertFile;
    timeoutSeconds_ = settings.timeoutSeconds;

    /* The CAs first: a CA file that cannot be used fails before anything is sent. */
    TlsTrust trust;
    if (settings.tls && trust.load(caCertFile_, failure) != STEP_OK) {
	return STEP_TLS_FAILED;
    }

    /*
     * The socket is connected here, within the time-out, and handed to
     * libldap; TLS for ldaps is started on it before anything is sent, as
     * StartTLS would.
     */
    int fd = connectSocket(h, port, timeoutSeconds_, failure);
    if (fd < 0) {
	failure.libraryText = libraryText(failure.code);
	return failure.code == RC_TIMEOUT ? STEP_TIMED_OUT : STEP_UNREACHABLE;
    }
    LDAP *conn = nullptr;
    int rc = ldap_init_fd(fd, LDAP_PROTO_TCP, url.c_str(), &conn);
    if (rc != LDAP_SUCCESS || conn == nullptr) {
	::close(fd);
	failure.code = static_cast<unsigned long>(
		commonCode(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc));
	failure.libraryText = libraryText(failure.code);
	return STEP_UNREACHABLE;
    }
    int version = LDAP_VERSION3;
    ldap_set_option(conn, LDAP_OPT_PROTOCOL_VERSION, &version);
    struct timeval tv;
    if (waitBound(timeoutSeconds_, tv) != nullptr) {
	ldap_set_option(conn, LDAP_OPT_TIMEOUT, &tv);
    }
    handle_ = reinterpret_cast<Handle *>(conn);
    if (settings.tls) {
	StepResult step = startTlsSession(conn, host_, trust, timeoutSeconds_, failure);
	if (step != STEP_OK) {
	    close();
	    return step;
	}
    }
    boundReads(conn, timeoutSeconds_);
    tls_ = settings.tls;
    return STEP_OK;
}

StepResult
Connection::startTls(Failure &failure)
{
    failure = Failure();
    LDAP *conn = ld(handle_);
    TlsTrust trust;
    if (trust.load(caCertFile_, failure) != STEP_OK) {
	return STEP_TLS_FAILED;		/* the StartTLS request is not even sent */
    }
    int messageId = 0;
    int rc = ldap_extended_operation(conn, LDAP_EXOP_START_TLS, nullptr, nullptr, nullptr,
	    &messageId);
    if (rc != LDAP_SUCCESS) {
	failure = failureOf(static_cast<unsigned long>(commonCode(rc)));
	return stepOf(failure.code);
    }
    LDAPMessage *answer = nullptr;
    rc = waitAnswer(conn, messageId, waitLimit(), &answer);
    if (rc != 0) {
	failure = failureOf(static_cast<unsigned long>(rc));
	return stepOf(failure.code);
    }
    int code = LDAP_OTHER;
    char *diagnostic = nullptr;
    rc = ldap_parse_result(conn, answer, &code, nullptr, &diagnostic, nullptr, nullptr, 1);
    if (rc != LDAP_SUCCESS || code != LDAP_SUCCESS) {
	/* The server refused: the connection stays in clear and is not used. */
	failure.code = static_cast<unsigned long>(commonCode(rc != LDAP_SUCCESS ? rc : code));
	failure.libraryText = libraryText(failure.code);
	failure.serverText = diagnostic ? diagnostic : "";
	ldap_memfree(diagnostic);
	return rc != LDAP_SUCCESS ? stepOf(failure.code) : STEP_TLS_FAILED;
    }
    ldap_memfree(diagnostic);
    StepResult step = startTlsSession(conn, host_, trust, timeoutSeconds_, failure);
    if (step == STEP_OK) {
	boundReads(conn, timeoutSeconds_);
	tls_ = true;
    }
    return step;
}

void
Connection::close()
{
    tls_ = false;
    if (handle_ != nullptr) {
	ldap_unbind_ext(ld(handle_), nullptr, nullptr);
	handle_ = nullptr;
    }
}

int
Connection::simpleBind(const char *dn, const char *password, Failure &failure)
{
    failure = Failure();
    LDAP *conn = ld(handle_);
    struct berval cred;
    cred.bv_val = const_cast<char *>(password ? password : "");
    cred.bv_len = password ? strlen(password) : 0;
    int messageId = 0;
    int rc = ldap_sasl_bind(conn, (dn && *dn) ? dn : nullptr, LDAP_SASL_SIMPLE, &cred, nullptr,
	    nullptr, &messageId);
    LDAPMessage *answer = nullptr;
    rc = rc != LDAP_SUCCESS ? commonCode(rc) : waitAnswer(conn, messageId, waitLimit(), &answer);
    if (rc != 0) {
	failure = failureOf(static_cast<unsigned long>(rc));
	/*
	 * A server may end a TLS session only once it has seen the client's
	 * part of the handshake (TLS 1.3: a client certificate it demands):
	 * the bind is the first to hear of it.
	 */
	std::string refusal = tlsRefusal(conn);
	if (!refusal.empty()) {
	    failure.code = RC_CONNECT_ERROR;
	    failure.libraryText = libraryText(failure.code);
	    failure.serverText = refusal;
	    return RC_CONNECT_ERROR;
	}
	return rc;
    }
    int code = LDAP_OTHER;
    char *diagnostic = nullptr;
    rc = ldap_parse_result(conn, answer, &code, nullptr, &diagnostic, nullptr, nullptr, 1);
    code = commonCode(rc != LDAP_SUCCESS ? rc : code);
    if (code != 0) {
	failure.code = static_cast<unsigned long>(code);
	failure.libraryText = libraryText(failure.code);
	failure.serverText = diagnostic ? diagnostic : "";
    }
    ldap_memfree(diagnostic);
    return code;
}

int
Connection::setOption(Option option, uint32_t value)
{
    int v = static_cast<int>(value);
    int rc;
    switch (option) {
    case OPTION_PROTOCOL_VERSION:
	rc = ldap_set_option(ld(handle_), LDAP_OPT_PROTOCOL_VERSION, &v);
	break;
    case OPTION_REFERRALS:
	rc = ldap_set_option(ld(handle_), LDAP_OPT_REFERRALS, v ? LDAP_OPT_ON : LDAP_OPT_OFF);
	break;
    case OPTION_DEREF:
	rc = ldap_set_option(ld(handle_), LDAP_OPT_DEREF, &v);
	break;
    case OPTION_REFERRAL_HOP_LIMIT:
	/*
	 * libldap cannot set its hop limit (it refuses LDAP_OPT_REFHOPLIMIT)
	 * and does not chase here; the driver bounds its own nesting of
	 * referral servers by the same number.
	 */
	return 0;
    default:
	return RC_NOT_SUPPORTED;
    }
    /* libldap reports a refused option as -1 without a reason. */
    return rc == LDAP_OPT_SUCCESS ? 0 : RC_NOT_SUPPORTED;
}

int
Connection::searchSync(const char *base, int scope, const char *filter, char **attributes,
	Message &result)
{
    LDAPMessage *msg = nullptr;
    struct timeval tv;
    int rc = ldap_search_ext_s(ld(handle_), base, scope, filter, attributes, 0, nullptr, nullptr,
	    waitBoundMs(waitLimit(), tv), 0, &msg);
    result.reset(reinterpret_cast<RawMessage *>(msg));
    return commonCode(rc);
}

namespace {

/* The controls of one request, freed with it. */
class RequestControls {
public:
    ~RequestControls()
    {
	for (LDAPControl *c : controls_) {
	    if (c != nullptr) {
		ldap_control_free(c);
	    }
	}
    }
    /* 0, or the library's code when a control cannot be made. */
    int add(LDAP *conn, const SearchRequest &request)
    {
	if (request.pageSize > 0) {
	    struct berval c;
	    c.bv_val = const_cast<char *>(request.cookie.data());
	    c.bv_len = request.cookie.size();
	    LDAPControl *page = nullptr;
	    int rc = ldap_create_page_control(conn, static_cast<ber_int_t>(request.pageSize),
		    request.cookie.empty() ? nullptr : &c, 0, &page);
	    if (rc != LDAP_SUCCESS) {
		return rc;
	    }
	    controls_[count_++] = page;
	}
	if (!request.sortAttribute.empty()) {
	    LDAPSortKey key;
	    key.attributeType = const_cast<char *>(request.sortAttribute.c_str());
	    key.orderingRule = nullptr;
	    key.reverseOrder = request.sortDescending ? 1 : 0;
	    LDAPSortKey *keys[2] = {&key, nullptr};
	    LDAPControl *sort = nullptr;
	    int rc = ldap_create_sort_control(conn, keys, 1, &sort);
	    if (rc != LDAP_SUCCESS) {
		return rc;
	    }
	    controls_[count_++] = sort;
	}
	return LDAP_SUCCESS;
    }
    LDAPControl **get() { return count_ > 0 ? controls_ : nullptr; }

private:
    LDAPControl *controls_[3] = {nullptr, nullptr, nullptr};
    int count_ = 0;
};

} // namespace

int
Connection::searchAsync(const SearchRequest &request, int *messageId)
{
    RequestControls controls;
    int rc = controls.add(ld(handle_), request);
    if (rc != LDAP_SUCCESS) {
	return commonCode(rc);
    }
    struct timeval limit;
    limit.tv_sec = static_cast<time_t>(request.timeLimit);
    limit.tv_usec = 0;
    rc = ldap_search_ext(ld(handle_), request.base, request.scope, request.filter,
	    request.attributes, 0, controls.get(), nullptr,
	    request.timeLimit > 0 ? &limit : nullptr, static_cast<int>(request.sizeLimit),
	    messageId);
    return commonCode(rc);
}

int
Connection::waitOne(int messageId, Message &message)
{
    LDAPMessage *msg = nullptr;
    struct timeval tv;
    int type = ldap_result(ld(handle_), messageId, LDAP_MSG_ONE, waitBoundMs(waitLimit(), tv),
	    &msg);
    message.reset(reinterpret_cast<RawMessage *>(msg));
    return type;
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
    char **refs = nullptr;
    urls.clear();
    int rc = ldap_parse_reference(ld(handle_), lm(reference.get()), &refs, nullptr, 0);
    if (rc != LDAP_SUCCESS) {
	return commonCode(rc);
    }
    for (char **r = refs; r && *r; r++) {
	urls.emplace_back(*r);
    }
    ber_memvfree(reinterpret_cast<void **>(refs));
    return 0;
}

void
Connection::parseResult(const Message &result, FinalResult &out)
{
    int code = 0;
    LDAPControl **controls = nullptr;
    char **refs = nullptr;
    char *diagnostic = nullptr;
    out = FinalResult();
    int rc = ldap_parse_result(ld(handle_), lm(result.get()), &code, nullptr, &diagnostic, &refs,
	    &controls, 0);
    if (rc != LDAP_SUCCESS) {
	out.code = commonCode(rc);
	return;
    }
    out.code = commonCode(code);
    if (diagnostic != nullptr) {
	out.diagnostic = diagnostic;
	ldap_memfree(diagnostic);
    }
    if (refs != nullptr) {
	for (char **r = refs; *r; r++) {
	    out.referrals.emplace_back(*r);
	}
	ber_memvfree(reinterpret_cast<void **>(refs));
    }
    LDAPControl *page = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr);
    if (page != nullptr) {
	ber_int_t estimate = 0;
	struct berval c = {0, nullptr};
	if (ldap_parse_pageresponse_control(ld(handle_), page, &estimate, &c) == LDAP_SUCCESS) {
	    out.hasPageControl = true;
	    if (c.bv_val != nullptr) {
		out.cookie.assign(c.bv_val, c.bv_len);
		ldap_memfree(c.bv_val);
	    }
	} else {
	    out.pageControlUnreadable = true;
	}
    }
    ldap_controls_free(controls);
}

unsigned long
Connection::lastError()
{
    int rc = LDAP_OTHER;
    if (handle_ == nullptr || ldap_get_option(ld(handle_), LDAP_OPT_RESULT_CODE, &rc) != 0) {
	return RC_LOCAL_ERROR;
    }
    return static_cast<unsigned long>(commonCode(rc));
}

std::string
Connection::serverMessage()
{
    return diagnosticOf(ld(handle_));
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
    if (owned_ != nullptr) {
	ber_memfree(owned_);
	owned_ = nullptr;
    }
    values_.clear();
    fetched_ = false;
}

/*
 * The walk starts with the entry's DN: the encoding holds it before the
 * attributes. It stays in the message.
 */
bool
AttributeWalk::dn(std::string_view &dn)
{
    if (started_) {
	return false;
    }
    started_ = true;
    BerElement *ber = nullptr;
    struct berval text = {0, nullptr};
    if (ldap_get_dn_ber(ld(connection_.handle()), le(entry_), &ber, &text) != LDAP_SUCCESS) {
	if (ber != nullptr) {
	    ber_free(ber, 0);
	}
	return false;
    }
    walk_ = reinterpret_cast<RawAttributeWalk *>(ber);
    dn = std::string_view(text.bv_val != nullptr ? text.bv_val : "", text.bv_len);
    return true;
}

/*
 * One pass: the entry's encoding is read on from where the last attribute
 * ended, names and values together (ldap_get_values_len would search the
 * entry from its start for every attribute). Names and values stay in the
 * message, a name with its length, so that a zero byte in it is kept.
 */
bool
AttributeWalk::next(std::string_view &name)
{
    freeName();
    if (!started_) {
	std::string_view ignored;
	if (!dn(ignored)) {
	    return false;
	}
    }
    if (walk_ == nullptr) {
	return false;
    }
    struct berval text;
    struct berval *values = nullptr;
    text.bv_val = nullptr;
    text.bv_len = 0;
    if (ldap_get_attribute_ber(ld(connection_.handle()), le(entry_),
	    reinterpret_cast<BerElement *>(walk_), &text, &values) != LDAP_SUCCESS
	    || text.bv_val == nullptr) {
	if (values != nullptr) {
	    ber_memfree(values);
	}
	ber_free(reinterpret_cast<BerElement *>(walk_), 0);
	walk_ = nullptr;
	return false;
    }
    owned_ = reinterpret_cast<RawValues *>(values);
    name = std::string_view(text.bv_val, text.bv_len);
    return true;
}

/* The walk brought them: an array ended by an empty berval. */
void
AttributeWalk::fetchValues()
{
    struct berval *values = reinterpret_cast<struct berval *>(owned_);
    for (size_t i = 0; values != nullptr && values[i].bv_val != nullptr; i++) {
	values_.emplace_back(values[i].bv_val, values[i].bv_len);
    }
}

bool
Connection::entryDn(RawEntry *entry, std::string &dn)
{
    char *text = ldap_get_dn(ld(handle_), le(entry));
    if (text == nullptr) {
	return false;
    }
    dn = text;
    ldap_memfree(text);
    return true;
}

ValueList::ValueList(Connection &connection, RawEntry *entry, const char *attribute)
{
    struct berval **v = ldap_get_values_len(reinterpret_cast<LDAP *>(connection.handle()),
	    le(entry), attribute);
    owned_ = reinterpret_cast<RawValues *>(v);
    for (size_t i = 0; v != nullptr && v[i] != nullptr; i++) {
	values_.emplace_back(v[i]->bv_val, v[i]->bv_len);
    }
}

ValueList::~ValueList()
{
    if (owned_ != nullptr) {
	ldap_value_free_len(reinterpret_cast<struct berval **>(owned_));
    }
}

} // namespace hkldap
