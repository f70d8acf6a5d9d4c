/*
 * winLdap.cpp --
 *
 *	The LDAP client of ldapPlatform.h over the Windows LDAP library
 *	(WLDAP32), in its wide (W) forms: text (host, DNs, filter, password,
 *	attribute names, URLs, messages) is UTF-8 on the package's side and
 *	UTF-16 on the library's, which speaks UTF-8 on the wire, so that text
 *	outside the ANSI code page goes through unchanged. Values are the
 *	bytes the server sent.
 *
 *	open() sets protocol version 3 before it connects, and connects at
 *	once (ldap_connect), so that an unreachable server is a failed open.
 *	Paging uses the page control directly (ldap_create_page_control,
 *	ldap_search_ext, ldap_parse_page_control); the library's own
 *	ldap_search_init_page is not available everywhere (Wine).
 *
 *	TLS is the library's own: ldap_sslinit for ldaps, ldap_start_tls_s
 *	for StartTLS, with the certificate checked against the system's
 *	certificate store (Schannel: the chain up to a trusted root, the host
 *	name given in the certificate's names). A CA file is not trusted
 *	here, but it is taken or refused by the same rule as on Linux, when
 *	TLS is used, so that a search fails alike on every system. Time-outs: the
 *	connect time-out of ldap_connect, and an l_timeval on every wait;
 *	the bind is sent asynchronously and awaited with ldap_result, since a
 *	library may connect only when the first request goes out (Wine).
 */

#include "directory/ldapPlatform.h"

#include "core/win/winUtf8.h"

#include "core/win/winHandle.h"
#include "directory/base/caFile.h"

#include <windows.h>
#include <winldap.h>
#include <winber.h>

#include <cstring>
#include <string>
#include <vector>

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

/* UTF-8 text as the library's UTF-16. */
std::wstring
wide(const char *text)
{
    return text != nullptr ? hkWinWide(text) : std::wstring();
}

/* The library's UTF-16 text as UTF-8. */
std::string
narrow(const wchar_t *text)
{
    return hkWinUtf8(text);
}

/* A wide string for the library: never null, even when empty. */
PWCHAR
pw(std::wstring &text)
{
    return const_cast<PWCHAR>(text.c_str());
}

/* A null-terminated list of wide attribute names (none: a null list). */
class WideList {
public:
    explicit WideList(char **names)
    {
	for (char **n = names; n != nullptr && *n != nullptr; n++) {
	    texts_.push_back(wide(*n));
	}
	for (std::wstring &t : texts_) {
	    pointers_.push_back(pw(t));
	}
	pointers_.push_back(nullptr);
	null_ = names == nullptr;
    }
    PWCHAR *get() { return null_ ? nullptr : pointers_.data(); }

private:
    std::vector<std::wstring> texts_;
    std::vector<PWCHAR> pointers_;
    bool null_;
};

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

/* The time-out of a wait of milliseconds: nullptr (none) for -1. */
struct l_timeval *
waitBoundMs(long long milliseconds, struct l_timeval &tv)
{
    if (milliseconds < 0) {
	return nullptr;
    }
    tv.tv_sec = static_cast<LONG>(milliseconds / 1000);
    tv.tv_usec = static_cast<LONG>(milliseconds % 1000 * 1000);
    return &tv;
}

/* The control of that OID among the controls of a result, or nullptr. */
PLDAPControlW
findControl(PLDAPControlW *controls, const wchar_t *oid)
{
    for (PLDAPControlW *c = controls; c != nullptr && *c != nullptr; c++) {
	if ((*c)->ldctl_oid != nullptr && wcscmp((*c)->ldctl_oid, oid) == 0) {
	    return *c;
	}
    }
    return nullptr;
}

/* The server's diagnostic message of the last operation; empty when none. */
std::string
serverErrorOf(LDAP *conn)
{
    std::string text;
    PWCHAR message = nullptr;
    if (conn != nullptr && ldap_get_optionW(conn, LDAP_OPT_SERVER_ERROR, &message) == LDAP_SUCCESS
	    && message != nullptr) {
	text = narrow(message);
	ldap_memfreeW(message);
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
    std::wstring name = wide(host);
    LDAP *conn = ldap_initW(pw(name), port);
    if (conn == nullptr) {
	return false;
    }
    struct l_timeval tv;
    bool reachable = ldap_connect(conn, waitBound(seconds, tv)) == LDAP_SUCCESS;
    ldap_unbind(conn);
    return reachable;
}

/*
 * The CA file, when one is given, under the rule of directory/base/caFile.h:
 * empty, or why it is refused. Nothing waits: a pipe or a device is no
 * disk file and is left unread.
 */
std::string
caFileRefusal(const std::string &path)
{
    using hkdir::CaFileFault;
    if (path.empty()) {
	return std::string();
    }
    std::wstring name = wide(path.c_str());
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
	return hkdir::caFileFaultText(path, CaFileFault::NOT_REGULAR);
    }
    WinHandle file(CreateFileW(name.c_str(), GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
	return hkdir::caFileFaultText(path, CaFileFault::CANNOT_OPEN,
		"error " + std::to_string(GetLastError()));
    }
    LARGE_INTEGER size;
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
	return hkdir::caFileFaultText(path, CaFileFault::NOT_REGULAR);
    }
    if (size.QuadPart > static_cast<LONGLONG>(hkdir::HK_CA_FILE_LIMIT)) {
	return hkdir::caFileFaultText(path, CaFileFault::TOO_LARGE);
    }
    /* One byte more than the limit tells a file that grew meanwhile. */
    std::string content(hkdir::HK_CA_FILE_LIMIT + 1, '\0');
    size_t got = 0;
    while (got < content.size()) {
	DWORD n = 0;
	if (!ReadFile(file.get(), &content[got], static_cast<DWORD>(content.size() - got), &n,
		nullptr)) {
	    return hkdir::caFileFaultText(path, CaFileFault::CANNOT_READ,
		    "error " + std::to_string(GetLastError()));
	}
	if (n == 0) {
	    break;
	}
	got += n;
    }
    if (got > hkdir::HK_CA_FILE_LIMIT) {
	return hkdir::caFileFaultText(path, CaFileFault::TOO_LARGE);
    }
    content.resize(got);
    if (!hkdir::pemHoldsCertificate(content)) {
	return hkdir::caFileFaultText(path, CaFileFault::NO_CERTIFICATE);
    }
    return std::string();
}

/* A TLS step refused before anything was sent: the CA file cannot be used. */
StepResult
caFileFailure(const std::string &reason, Failure &failure)
{
    failure.code = LDAP_CONNECT_ERROR;
    failure.libraryText = libraryText(failure.code);
    failure.serverText = reason;
    return STEP_TLS_FAILED;
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
    caCertFile_ = settings.caCertFile;
    host_ = host ? host : "";
    if (settings.tls) {
	std::string refusal = caFileRefusal(caCertFile_);
	if (!refusal.empty()) {
	    return caFileFailure(refusal, failure);
	}
    }
    std::wstring name = wide(host);
    LDAP *conn = settings.tls ? ldap_sslinitW(pw(name), port, 1) : ldap_initW(pw(name), port);
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
    tls_ = settings.tls;
    return STEP_OK;
}

StepResult
Connection::startTls(Failure &failure)
{
    failure = Failure();
    std::string refusal = caFileRefusal(caCertFile_);
    if (!refusal.empty()) {
	return caFileFailure(refusal, failure);	/* the StartTLS request is not sent */
    }
    ULONG serverReturn = 0;
    LDAPMessage *result = nullptr;
    ULONG rc = ldap_start_tls_sA(ld(handle_), &serverReturn, &result, nullptr, nullptr);
    if (result != nullptr) {
	ldap_msgfree(result);
    }
    if (rc == LDAP_SUCCESS) {
	tls_ = true;
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
    tls_ = false;
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
    std::wstring wideDn = wide(dn), widePassword = wide(password);
    ULONG id = ldap_simple_bindW(conn, wideDn.empty() ? nullptr : pw(wideDn),
	    widePassword.empty() ? nullptr : pw(widePassword));
    SecureZeroMemory(&widePassword[0], widePassword.size() * sizeof(wchar_t));
    if (id == static_cast<ULONG>(-1)) {
	failure = connectionFailure();
	return static_cast<int>(failure.code);
    }
    struct l_timeval tv;
    LDAPMessage *answer = nullptr;
    ULONG type = ldap_result(conn, id, LDAP_MSG_ALL, waitBoundMs(waitLimit(), tv), &answer);
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
    PWCHAR message = nullptr;
    ULONG rc = ldap_parse_resultW(conn, answer, &code, nullptr, &message, nullptr, nullptr, TRUE);
    if (rc != LDAP_SUCCESS) {
	code = rc;
    }
    if (code != LDAP_SUCCESS) {
	failure.code = code;
	failure.libraryText = libraryText(code);
	failure.serverText = narrow(message);
    }
    if (message != nullptr) {
	ldap_memfreeW(message);
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
    std::wstring wideBase = wide(base), wideFilter = wide(filter);
    WideList names(attributes);
    ULONG rc = ldap_search_ext_sW(ld(handle_), pw(wideBase), static_cast<ULONG>(scope),
	    pw(wideFilter), names.get(), 0, nullptr, nullptr, waitBoundMs(waitLimit(), tv), 0,
	    &msg);
    result.reset(reinterpret_cast<RawMessage *>(msg));
    return static_cast<int>(rc);
}

namespace {

/* The controls of one request, freed with it. */
class RequestControls {
public:
    ~RequestControls()
    {
	for (PLDAPControlW c : controls_) {
	    if (c != nullptr) {
		ldap_control_freeW(c);
	    }
	}
    }
    /* 0, or the library's code when a control cannot be made. */
    ULONG add(LDAP *conn, const SearchRequest &request)
    {
	if (request.pageSize > 0) {
	    struct berval c;
	    c.bv_val = const_cast<char *>(request.cookie.data());
	    c.bv_len = static_cast<ULONG>(request.cookie.size());
	    PLDAPControlW page = nullptr;
	    ULONG rc = ldap_create_page_controlW(conn, request.pageSize, &c, FALSE, &page);
	    if (rc != LDAP_SUCCESS) {
		return rc;
	    }
	    controls_[count_++] = page;
	}
	if (!request.sortAttribute.empty()) {
	    std::wstring attribute = wide(request.sortAttribute.c_str());
	    LDAPSortKeyW key;
	    key.sk_attrtype = pw(attribute);
	    key.sk_matchruleoid = nullptr;
	    key.sk_reverseorder = request.sortDescending ? TRUE : FALSE;
	    PLDAPSortKeyW keys[2] = {&key, nullptr};
	    PLDAPControlW sort = nullptr;
	    ULONG rc = ldap_create_sort_controlW(conn, keys, TRUE, &sort);
	    if (rc != LDAP_SUCCESS) {
		return rc;
	    }
	    controls_[count_++] = sort;
	}
	return LDAP_SUCCESS;
    }
    PLDAPControlW *get() { return count_ > 0 ? controls_ : nullptr; }

private:
    PLDAPControlW controls_[3] = {nullptr, nullptr, nullptr};
    int count_ = 0;
};

} // namespace

int
Connection::searchAsync(const SearchRequest &request, int *messageId)
{
    RequestControls controls;
    ULONG rc = controls.add(ld(handle_), request);
    if (rc != LDAP_SUCCESS) {
	return static_cast<int>(rc);
    }
    ULONG id = 0;
    std::wstring wideBase = wide(request.base), wideFilter = wide(request.filter);
    WideList names(request.attributes);
    rc = ldap_search_extW(ld(handle_), pw(wideBase), static_cast<ULONG>(request.scope),
	    pw(wideFilter), names.get(), 0, controls.get(), nullptr, request.timeLimit,
	    request.sizeLimit, &id);
    *messageId = static_cast<int>(id);
    return static_cast<int>(rc);
}

int
Connection::waitOne(int messageId, Message &message)
{
    LDAPMessage *msg = nullptr;
    struct l_timeval tv;
    ULONG type = ldap_result(ld(handle_), static_cast<ULONG>(messageId), LDAP_MSG_ONE,
	    waitBoundMs(waitLimit(), tv), &msg);
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
    PWCHAR *refs = nullptr;
    urls.clear();
    ULONG rc = ldap_parse_referenceW(ld(handle_), lm(reference.get()), &refs);
    if (rc != LDAP_SUCCESS) {
	return static_cast<int>(rc);
    }
    for (PWCHAR *r = refs; r && *r; r++) {
	urls.push_back(narrow(*r));
    }
    if (refs != nullptr) {
	ldap_value_freeW(refs);
    }
    return 0;
}

void
Connection::parseResult(const Message &result, FinalResult &out)
{
    ULONG code = 0;
    PLDAPControlW *controls = nullptr;
    PWCHAR *refs = nullptr;
    PWCHAR message = nullptr;
    out = FinalResult();
    ULONG rc = ldap_parse_resultW(ld(handle_), lm(result.get()), &code, nullptr, &message, &refs,
	    &controls, FALSE);
    if (rc != LDAP_SUCCESS) {
	out.code = static_cast<int>(rc);
	return;
    }
    out.code = static_cast<int>(code);
    if (message != nullptr) {
	out.diagnostic = narrow(message);
	ldap_memfreeW(message);
    }
    if (refs != nullptr) {
	for (PWCHAR *r = refs; *r; r++) {
	    out.referrals.push_back(narrow(*r));
	}
	ldap_value_freeW(refs);
    }
    if (findControl(controls, LDAP_PAGED_RESULT_OID_STRING_W) != nullptr) {
	ULONG estimate = 0;
	struct berval *c = nullptr;
	if (ldap_parse_page_controlW(ld(handle_), controls, &estimate, &c) == LDAP_SUCCESS) {
	    out.hasPageControl = true;
	    if (c != nullptr) {
		if (c->bv_val != nullptr) {
		    out.cookie.assign(c->bv_val, c->bv_len);
		}
		ber_bvfree(c);
	    }
	} else {
	    out.pageControlUnreadable = true;
	}
    }
    if (controls != nullptr) {
	ldap_controls_freeW(controls);
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

std::string
Connection::serverMessage()
{
    return serverErrorOf(ld(handle_));
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
	ldap_value_free_len(reinterpret_cast<struct berval **>(owned_));
	owned_ = nullptr;
    }
    values_.clear();
    fetched_ = false;
    hasName_ = false;
}

bool
AttributeWalk::dn(std::string_view &dn)
{
    if (started_ || !connection_.entryDn(entry_, dnText_)) {
	return false;
    }
    dn = dnText_;
    return true;
}

/* The library's names are wide text, ended by their first zero. */
bool
AttributeWalk::next(std::string_view &name)
{
    freeName();
    LDAP *conn = ld(connection_.handle());
    PWCHAR text = nullptr;
    if (!started_) {
	started_ = true;
	BerElement *ber = nullptr;
	text = ldap_first_attributeW(conn, le(entry_), &ber);
	walk_ = reinterpret_cast<RawAttributeWalk *>(ber);
    } else if (walk_ != nullptr) {
	text = ldap_next_attributeW(conn, le(entry_), reinterpret_cast<BerElement *>(walk_));
    }
    if (text == nullptr) {
	return false;
    }
    /* The library's copy goes at once. */
    nameText_ = narrow(text);
    ldap_memfreeW(text);
    hasName_ = true;
    name = nameText_;
    return true;
}

/* WLDAP32 offers no walk with values: each attribute's values are asked for by name. */
void
AttributeWalk::fetchValues()
{
    if (!hasName_) {
	return;
    }
    std::wstring name = wide(nameText_.c_str());
    struct berval **values = ldap_get_values_lenW(reinterpret_cast<LDAP *>(connection_.handle()),
	    le(entry_), pw(name));
    owned_ = reinterpret_cast<RawValues *>(values);
    for (size_t i = 0; values != nullptr && values[i] != nullptr && values[i]->bv_val != nullptr;
	    i++) {
	values_.emplace_back(values[i]->bv_val, values[i]->bv_len);
    }
}

bool
Connection::entryDn(RawEntry *entry, std::string &dn)
{
    PWCHAR text = ldap_get_dnW(ld(handle_), le(entry));
    if (text == nullptr) {
	return false;
    }
    dn = narrow(text);
    ldap_memfreeW(text);
    return true;
}

ValueList::ValueList(Connection &connection, RawEntry *entry, const char *attribute)
{
    std::wstring name = wide(attribute);
    struct berval **v = ldap_get_values_lenW(reinterpret_cast<LDAP *>(connection.handle()),
	    le(entry), pw(name));
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
