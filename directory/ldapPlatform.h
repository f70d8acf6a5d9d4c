/*
 * ldapPlatform.h --
 *
 *	The LDAP client: the operations that the search driver needs, as one
 *	small interface with a definition per client library: WLDAP32 on
 *	Windows (directory/win/winLdap.cpp), OpenLDAP's libldap on Unix
 *	(directory/unix/unixLdap.cpp). The driver never sees the library's
 *	own types or numbers.
 *
 *	Result codes are the LDAP result codes of the protocol (0 success,
 *	0x04 size limit exceeded, 0x31 invalid credentials, ...) and, for
 *	failures inside the client, the numbering of the Windows library
 *	(0x51 server down, 0x5A no memory, 0x5C not supported, ...), so that
 *	diagnostics print the same numbers on every system.
 *
 *	Every connection, message, attribute walk and value list is owned by
 *	one object and released by its destructor.
 */

#ifndef HOSTKIT_LDAP_PLATFORM_H
#define HOSTKIT_LDAP_PLATFORM_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hkldap {

/* Opaque library objects. */
struct Handle;
struct RawMessage;
struct RawEntry;
struct RawAttributeWalk;
struct RawValues;

enum {
    SCOPE_BASE = 0,
    SCOPE_ONE_LEVEL = 1,
    SCOPE_SUBTREE = 2
};

/* What a wait returns: a message type, or no message. */
enum {
    WAIT_FAILED = -1,		/* an error (a message may still come later) */
    WAIT_TIMED_OUT = 0,
    RES_SEARCH_ENTRY = 0x64,
    RES_SEARCH_RESULT = 0x65,
    RES_SEARCH_REFERENCE = 0x73
};

/* Result codes the driver looks at. */
enum {
    RC_SUCCESS = 0,
    RC_TIME_LIMIT_EXCEEDED = 0x03,
    RC_SIZE_LIMIT_EXCEEDED = 0x04,
    RC_AUTH_METHOD_NOT_SUPPORTED = 0x07,
    RC_REFERRAL = 0x0A,		/* the base lies on another server */
    RC_SERVER_DOWN = 0x51,
    RC_LOCAL_ERROR = 0x52,
    RC_TIMEOUT = 0x55,
    RC_CONNECT_ERROR = 0x5B,
    RC_NOT_SUPPORTED = 0x5C
};

/* Connection options, numbered by each library in its own way. */
enum Option {
    OPTION_PROTOCOL_VERSION,	/* PROTOCOL_VERSION_3 */
    OPTION_REFERRALS,		/* REFERRALS_CHASED: the library chases referrals
				 * itself; REFERRALS_HANDED_OVER: it hands search
				 * references to the caller */
    OPTION_DEREF,		/* DEREF_ALWAYS: always dereference aliases */
    OPTION_REFERRAL_HOP_LIMIT	/* the library's own referral hop limit */
};

/* Values of the options. */
enum {
    PROTOCOL_VERSION_3 = 3,
    REFERRALS_HANDED_OVER = 0,
    REFERRALS_CHASED = 1,
    DEREF_ALWAYS = 3
};

/* How a connection is made. */
struct ConnectSettings {
    bool tls = false;		/* TLS from the first byte (ldaps) */
    std::string caCertFile;	/* PEM file of trusted CAs, read only when
				 * the connection speaks TLS (open() with tls,
				 * startTls()) and taken only as
				 * directory/base/caFile.h says; Linux trusts
				 * its CAs instead of ldap.conf's, Windows
				 * checks the file alike but trusts the
				 * system's store; empty: the system's */
    unsigned timeoutSeconds = 0;	/* bound of the TCP connect, of the TLS
					 * handshake and of each wait for the
					 * server; 0: none */
};

/* The point by which a whole search must be over; unset: none. */
struct Deadline {
    bool set = false;
    std::chrono::steady_clock::time_point at;
};

/*
 * The bound of one wait in milliseconds: the time-out (0: none) and what
 * is left before the deadline, whichever ends first; -1 when neither
 * bounds it, 0 once the deadline has passed.
 */
inline long long
waitMilliseconds(unsigned timeoutSeconds, const Deadline &deadline)
{
    long long bound = timeoutSeconds > 0 ? 1000LL * timeoutSeconds : -1;
    if (deadline.set) {
	long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
		deadline.at - std::chrono::steady_clock::now()).count();
	left = left > 0 ? left : 0;
	bound = bound < 0 || left < bound ? left : bound;
    }
    return bound;
}

/* One search request. */
struct SearchRequest {
    const char *base = "";
    int scope = SCOPE_SUBTREE;
    const char *filter = "";
    char **attributes = nullptr;	/* nullptr: all attributes */
    unsigned pageSize = 0;		/* > 0: with the simple paged-results
					 * control (RFC 2696) of that page size */
    std::string cookie;			/* the control's cookie: empty for the
					 * first page */
    unsigned sizeLimit = 0;		/* entries the server may return; 0: any */
    unsigned timeLimit = 0;		/* seconds the server may take; 0: any */
    std::string sortAttribute;		/* not empty: the server-side sort
					 * control (RFC 2891), critical */
    bool sortDescending = false;
};

/* What went wrong in a step of a connection, for the diagnostics. */
struct Failure {
    unsigned long code = 0;	/* a result code */
    std::string libraryText;	/* the client library's text for the code */
    std::string serverText;	/* the server's diagnostic message, or the
				 * library's detail (a TLS reason); may be
				 * empty */
};

/* The outcome of open() and startTls(). */
enum StepResult {
    STEP_OK,
    STEP_UNREACHABLE,		/* no server there, or the connection was lost */
    STEP_TIMED_OUT,		/* the server did not answer in time */
    STEP_TLS_FAILED		/* the server refused TLS, or the handshake or the
				 * check of its certificate failed */
};

/* The final result of a search, or of one page of a paged search. */
struct FinalResult {
    int code = RC_SUCCESS;	/* the result code; when the message cannot be
				 * parsed, the code of that failure */
    std::string diagnostic;	/* the server's diagnostic message */
    bool hasPageControl = false;	/* it carries the paged-results control */
    bool pageControlUnreadable = false;	/* it carries one that cannot be
					 * parsed (no cookie to go on from) */
    std::string cookie;		/* the control's cookie: the next page goes on
				 * from it; empty after the last page */
    std::vector<std::string> referrals;	/* the URLs of a referral result
					 * (code RC_REFERRAL) */
};

/* One message received from the server; freed when the holder lets go. */
class Message {
public:
    Message() = default;
    ~Message() { reset(); }
    Message(const Message &) = delete;
    Message &operator=(const Message &) = delete;

    RawMessage *get() const { return msg_; }
    void reset(RawMessage *msg = nullptr);
    explicit operator bool() const { return msg_ != nullptr; }

private:
    RawMessage *msg_ = nullptr;
};

/* The client library's text for a result code. */
std::string libraryText(unsigned long code);

/*
 * One connection. open() connects at once, so that an unreachable server
 * shows as a failed open rather than as a failed bind, and the connection
 * speaks LDAPv3 from the start. The destructor unbinds. Every wait of a
 * connection is bounded by the time-out it was opened with.
 */
class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    /*
     * STEP_OK, or another StepResult with what went wrong in failure. With
     * settings.tls the server's certificate and its name (host) are
     * checked before open() returns; STEP_TLS_FAILED when they are not
     * right, or when the CA file cannot be used.
     */
    StepResult open(const char *host, unsigned port, const ConnectSettings &settings,
	    Failure &failure);
    void close();

    /*
     * The StartTLS operation and the TLS handshake on an open clear
     * connection: STEP_OK, or another StepResult with what went wrong.
     */
    StepResult startTls(Failure &failure);

    /*
     * Simple bind, its wait bounded: 0 or a result code (RC_TIMEOUT when
     * the server did not answer in time) with what went wrong in failure.
     * RC_CONNECT_ERROR on a connection that speaks TLS: the server ended
     * the TLS session after its handshake (it demands a client
     * certificate), failure says why.
     */
    int simpleBind(const char *dn, const char *password, Failure &failure);

    /*
     * Negotiate bind: the Kerberos credentials of the account that runs
     * the process (Linux: its ticket cache, KRB5CCNAME or the default;
     * Windows: the logged-on user), no name or password. Linux asks for
     * the SASL mechanism given (GSSAPI or GSS-SPNEGO), Windows negotiates
     * it. On a connection that speaks TLS no SASL security layer, and the
     * TLS channel binding where the library can send it; on a clear one
     * signing and sealing. Bounded like simpleBind (see the definitions
     * for what each library lets be bounded). 0 or a result code, with the
     * library's reason in failure (no ticket, an expired one, no service
     * principal for the server's name).
     */
    int negotiateBind(const std::string &mechanism, Failure &failure);

    /*
     * Every later wait of the connection (bind, searches) ends at the
     * deadline too, if that comes before its time-out.
     */
    void setDeadline(const Deadline &deadline) { deadline_ = deadline; }

    /* 0 or the library's code for a refused option. */
    int setOption(Option option, uint32_t value);

    /* Synchronous search; 0 with the result message, or a result code. */
    int searchSync(const char *base, int scope, const char *filter, char **attributes,
	    Message &result);

    /* Starts a search: 0 and the message id, or a result code. */
    int searchAsync(const SearchRequest &request, int *messageId);

    /*
     * Waits, within the connection's time-out, for one message of the
     * search: its type, WAIT_TIMED_OUT, or WAIT_FAILED.
     */
    int waitOne(int messageId, Message &message);

    RawEntry *firstEntry(const Message &message);
    RawEntry *nextEntry(RawEntry *entry);

    /* The DN of an entry as the library hands it over; false when it cannot. */
    bool entryDn(RawEntry *entry, std::string &dn);

    /* The URLs of a search reference; 0 or a result code. */
    int parseReference(const Message &reference, std::vector<std::string> &urls);

    /* Reads a final search result. */
    void parseResult(const Message &result, FinalResult &out);

    /* The code of the last failed operation on this connection. */
    unsigned long lastError();

    /* code, with the library's text and the server's message of the last operation. */
    Failure failureOf(unsigned long code);

    /* The server's (or the library's) message of the last operation; empty when none. */
    std::string serverMessage();

    /* The library's connection, for the definitions of the classes below. */
    Handle *handle() const { return handle_; }

private:
    /* A request that could not reach the server: what the library says (Windows). */
    Failure connectionFailure();

    /* The bound of the next wait in milliseconds; -1: none. */
    long long waitLimit() const { return waitMilliseconds(timeoutSeconds_, deadline_); }

    Handle *handle_ = nullptr;
    bool tls_ = false;		/* the connection speaks TLS (ldaps, StartTLS) */
    unsigned timeoutSeconds_ = 0;
    Deadline deadline_;
    std::string host_;		/* the name the certificate must hold */
    std::string caCertFile_;	/* for startTls() */
};

/*
 * Walks the attributes of one entry, each with its values, in one pass
 * over the entry where the library allows it (libldap), so that an entry
 * with many attributes costs time in step with its size.
 */
class AttributeWalk {
public:
    AttributeWalk(Connection &connection, RawEntry *entry);
    ~AttributeWalk();
    AttributeWalk(const AttributeWalk &) = delete;
    AttributeWalk &operator=(const AttributeWalk &) = delete;

    /*
     * The entry's DN as the server sent it, valid while the walk lives;
     * false when it cannot be read. Only before the first next().
     */
    bool dn(std::string_view &dn);

    /*
     * The next attribute name (the first on the first call), whole (a
     * zero byte in it included), valid until the next call; false after
     * the last.
     */
    bool next(std::string_view &name);

    /*
     * Value i (from 0, in the server's order) of the attribute that next()
     * returned last, valid until the next call of next(); false when it
     * has no value i.
     */
    bool value(size_t i, const char **data, size_t *length);

private:
    /* Lets go of the current attribute's values. */
    void freeName();

    /*
     * Fills values_ with the current attribute's values, kept in owned_
     * (asked for by name where the walk did not bring them).
     */
    void fetchValues();

    Connection &connection_;
    RawEntry *entry_;
    RawAttributeWalk *walk_ = nullptr;
    bool started_ = false;
    bool hasName_ = false;
    std::string nameText_;		/* the name, where the library's is not UTF-8 */
    std::string dnText_;
    RawValues *owned_ = nullptr;	/* the library's values of the attribute */
    std::vector<std::string_view> values_;	/* each value's bytes, in owned_ */
    bool fetched_ = false;		/* values_ holds the current attribute's */
};

/* The values of one attribute, with their lengths. */
class ValueList {
public:
    ValueList(Connection &connection, RawEntry *entry, const char *attribute);
    ~ValueList();
    ValueList(const ValueList &) = delete;
    ValueList &operator=(const ValueList &) = delete;

    size_t count() const { return values_.size(); }
    const char *data(size_t i) const { return values_[i].data(); }
    size_t length(size_t i) const { return values_[i].size(); }

private:
    RawValues *owned_ = nullptr;	/* the library's values */
    std::vector<std::string_view> values_;	/* each value's bytes, in owned_ */
};

} // namespace hkldap

#endif /* HOSTKIT_LDAP_PLATFORM_H */
