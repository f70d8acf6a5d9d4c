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
 */

#include "directory/ldapPlatform.h"

#include <windows.h>
#include <winldap.h>
#include <winber.h>

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

PCHAR
pc(const char *text)
{
    return const_cast<PCHAR>(text);
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
    LDAP *conn = ldap_initA(pc(host ? host : ""), port);
    if (conn == nullptr) {
	*error = LdapGetLastError();
	return false;
    }
    ULONG version = LDAP_VERSION3;
    ldap_set_option(conn, LDAP_OPT_PROTOCOL_VERSION, &version);
    ULONG rc = ldap_connect(conn, nullptr);
    if (rc != LDAP_SUCCESS) {
	*error = rc;
	ldap_unbind(conn);
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
	ldap_unbind(ld(handle_));
	handle_ = nullptr;
    }
}

int
Connection::simpleBind(const char *dn, const char *password)
{
    return static_cast<int>(ldap_simple_bind_sA(ld(handle_), (dn && *dn) ? pc(dn) : nullptr,
	    (password && *password) ? pc(password) : nullptr));
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
    ULONG rc = ldap_search_sA(ld(handle_), pc(base), static_cast<ULONG>(scope), pc(filter),
	    attributes, 0, &msg);
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
    ULONG type = ldap_result(ld(handle_), static_cast<ULONG>(messageId), LDAP_MSG_ONE, nullptr,
	    &msg);
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
    out = FinalResult();
    ULONG rc = ldap_parse_resultA(ld(handle_), lm(result.get()), &code, nullptr, nullptr, &refs,
	    &controls, FALSE);
    if (rc != LDAP_SUCCESS) {
	out.code = static_cast<int>(rc);
	return;
    }
    out.code = static_cast<int>(code);
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
