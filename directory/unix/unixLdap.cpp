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
 */

#include "directory/ldapPlatform.h"

#include <ldap.h>

#include <cstring>

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

} // namespace

void
Message::reset(RawMessage *msg)
{
    if (msg_ != nullptr) {
	ldap_msgfree(lm(msg_));
    }
    msg_ = msg;
}

bool
Connection::open(const char *host, unsigned port, unsigned long *error)
{
    close();
    std::string url = "ldap://";
    std::string h = host ? host : "";
    if (h.find(':') != std::string::npos && h.front() != '[') {
	url += "[" + h + "]";		/* an IPv6 address */
    } else {
	url += h;
    }
    url += ":" + std::to_string(port);

    LDAP *conn = nullptr;
    int rc = ldap_initialize(&conn, url.c_str());
    if (rc != LDAP_SUCCESS || conn == nullptr) {
	*error = static_cast<unsigned long>(commonCode(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc));
	return false;
    }
    int version = LDAP_VERSION3;
    ldap_set_option(conn, LDAP_OPT_PROTOCOL_VERSION, &version);
    rc = ldap_connect(conn);
    if (rc != LDAP_SUCCESS) {
	*error = static_cast<unsigned long>(commonCode(rc));
	ldap_unbind_ext(conn, nullptr, nullptr);
	return false;
    }
    handle_ = reinterpret_cast<Handle *>(conn);
    *error = 0;
    return true;
}

void
Connection::close()
{
    if (handle_ != nullptr) {
	ldap_unbind_ext(ld(handle_), nullptr, nullptr);
	handle_ = nullptr;
    }
}

int
Connection::simpleBind(const char *dn, const char *password)
{
    struct berval cred;
    cred.bv_val = const_cast<char *>(password ? password : "");
    cred.bv_len = password ? strlen(password) : 0;
    int rc = ldap_sasl_bind_s(ld(handle_), (dn && *dn) ? dn : nullptr, LDAP_SASL_SIMPLE, &cred,
	    nullptr, nullptr, nullptr);
    return commonCode(rc);
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
    int rc = ldap_search_ext_s(ld(handle_), base, scope, filter, attributes, 0, nullptr, nullptr,
	    nullptr, 0, &msg);
    result.reset(reinterpret_cast<RawMessage *>(msg));
    return commonCode(rc);
}

int
Connection::searchAsync(const char *base, int scope, const char *filter, char **attributes,
	unsigned pageSize, const std::string &cookie, int *messageId)
{
    LDAPControl *page = nullptr;
    LDAPControl *controls[2] = {nullptr, nullptr};
    if (pageSize > 0) {
	struct berval c;
	c.bv_val = const_cast<char *>(cookie.data());
	c.bv_len = cookie.size();
	int rc = ldap_create_page_control(ld(handle_), pageSize, cookie.empty() ? nullptr : &c, 0,
		&page);
	if (rc != LDAP_SUCCESS) {
	    return commonCode(rc);
	}
	controls[0] = page;
    }
    int rc = ldap_search_ext(ld(handle_), base, scope, filter, attributes, 0,
	    page ? controls : nullptr, nullptr, nullptr, 0, messageId);
    if (page != nullptr) {
	ldap_control_free(page);
    }
    return commonCode(rc);
}

int
Connection::waitOne(int messageId, Message &message)
{
    LDAPMessage *msg = nullptr;
    int type = ldap_result(ld(handle_), messageId, LDAP_MSG_ONE, nullptr, &msg);
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
    out = FinalResult();
    int rc = ldap_parse_result(ld(handle_), lm(result.get()), &code, nullptr, nullptr, &refs,
	    &controls, 0);
    if (rc != LDAP_SUCCESS) {
	out.code = commonCode(rc);
	return;
    }
    out.code = commonCode(code);
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
	ber_memfree(values_);
	values_ = nullptr;
    }
}

/*
 * One pass: the entry's encoding is read on from where the last attribute
 * ended, names and values together (ldap_get_values_len would search the
 * entry from its start for every attribute). Names and values stay in the
 * message; the name is copied to make it C text.
 */
const char *
AttributeWalk::next()
{
    freeName();
    LDAP *conn = ld(connection_.handle());
    if (!started_) {
	started_ = true;
	BerElement *ber = nullptr;
	struct berval dn;
	if (ldap_get_dn_ber(conn, le(entry_), &ber, &dn) != LDAP_SUCCESS) {
	    if (ber != nullptr) {
		ber_free(ber, 0);
	    }
	    return nullptr;
	}
	walk_ = reinterpret_cast<RawAttributeWalk *>(ber);
    }
    if (walk_ == nullptr) {
	return nullptr;
    }
    struct berval name;
    struct berval *values = nullptr;
    name.bv_val = nullptr;
    name.bv_len = 0;
    if (ldap_get_attribute_ber(conn, le(entry_), reinterpret_cast<BerElement *>(walk_), &name,
	    &values) != LDAP_SUCCESS || name.bv_val == nullptr) {
	if (values != nullptr) {
	    ber_memfree(values);
	}
	ber_free(reinterpret_cast<BerElement *>(walk_), 0);
	walk_ = nullptr;
	return nullptr;
    }
    values_ = reinterpret_cast<RawValues *>(values);
    nameText_.assign(name.bv_val, name.bv_len);
    return nameText_.c_str();
}

bool
AttributeWalk::firstValue(const char **data, size_t *length)
{
    struct berval *values = reinterpret_cast<struct berval *>(values_);
    if (values == nullptr || values[0].bv_val == nullptr) {
	return false;
    }
    *data = values[0].bv_val;
    *length = values[0].bv_len;
    return true;
}

ValueList::ValueList(Connection &connection, RawEntry *entry, const char *attribute)
{
    struct berval **v = ldap_get_values_len(reinterpret_cast<LDAP *>(connection.handle()),
	    le(entry), attribute);
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
