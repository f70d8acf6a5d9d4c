/*
 * searchDriver.cpp --
 *
 *	The directory search driver. It talks to the server only through the
 *	client interface of ldapClient.h, so it is the same on every system.
 *
 *	Results are streamed: each wait asks for one message, whose entries
 *	go to the results file before the message is freed and the next one
 *	is awaited. Paged searches send the simple paged-results control
 *	themselves (create the control, send it with the search, take the
 *	cookie from each page's final result), which works with every client
 *	library, also where the library's own paged-search helpers are absent.
 */

#include "directory/searchDriver.h"
#include "directory/resultsFile.h"
#include "directory/resultsFilePlatform.h"

#include <cstring>
#include <memory>

using hkldap::Connection;
using hkldap::Message;
using hkldap::RawEntry;

namespace {

/* Set by the probe, read by the searches of the same run, referrals too. */
bool pagingSupported = false;

/* Consecutive failed waits after which a paged search gives up. */
const int MAX_FAILED_WAITS = 3;

/*
 * A null-terminated array of attribute names for the client library,
 * owning its copies; no names means "all attributes" (a null list).
 */
class AttributeList {
public:
    explicit AttributeList(const std::vector<std::string> &names)
    {
	for (const std::string &name : names) {
	    std::unique_ptr<char[]> copy(new char[name.size() + 1]);
	    memcpy(copy.get(), name.c_str(), name.size() + 1);
	    pointers_.push_back(copy.get());
	    copies_.push_back(std::move(copy));
	}
	pointers_.push_back(nullptr);
    }
    char **get() { return copies_.empty() ? nullptr : pointers_.data(); }

private:
    std::vector<std::unique_ptr<char[]>> copies_;
    std::vector<char *> pointers_;
};

/*
 * A paged search in progress: what every page request repeats, and the
 * server's cookie from the last page.
 */
struct PagedSearch {
    std::string base;
    std::string filter;
    char **attributes = nullptr;
    std::string cookie;
    bool started = false;
    int lastCode = 0;		/* of a refused page request */
};

/* Requests the next page: 0 and its message id, NO_RESULTS_RETURNED after
 * the last page, -1 when the request cannot be sent. */
int
GetNextPage(Connection &connection, PagedSearch &search, unsigned pageSize, int *messageId)
{
    if (search.started && search.cookie.empty()) {
	return hkldap::RC_NO_RESULTS_RETURNED;
    }
    search.started = true;
    int rc = connection.searchAsync(search.base.c_str(), hkldap::SCOPE_SUBTREE,
	    search.filter.c_str(), search.attributes, pageSize, search.cookie, messageId);
    if (rc != 0) {
	search.lastCode = rc;
	return -1;
    }
    return 0;
}

/* Takes in a page's final result: its result code, and the cookie that the
 * next request continues from (none: that was the last page); urls receives
 * the URLs of a referral result. */
int
GetPagedResult(Connection &connection, PagedSearch &search, const Message &result,
	std::vector<std::string> &urls)
{
    int code = 0;
    bool hasControl = false;
    std::string cookie;
    if (connection.parseResult(result, &code, &hasControl, &cookie, &urls) != 0) {
	search.cookie.clear();
	return hkldap::RC_LOCAL_ERROR;
    }
    search.cookie = hasControl ? cookie : std::string();
    return code;
}

/*
 * Probes the root DSE for the paged-results control. The attribute is asked
 * for by name: servers leave operational attributes out of "all".
 */
bool
ProbePaging(Connection &connection)
{
    char supported[] = "supportedControl";
    char *attributes[] = {supported, nullptr};
    Message result;
    if (connection.searchSync("", hkldap::SCOPE_BASE, "(objectClass=*)", attributes, result) != 0
	    || !result) {
	return false;
    }
    RawEntry *entry = connection.firstEntry(result);
    if (entry == nullptr) {
	return false;
    }
    hkldap::ValueList values(connection, entry, supported);
    for (size_t i = 0; i < values.count(); i++) {
	if (values.length(i) == strlen(HK_PAGED_RESULTS_OID)
		&& memcmp(values.data(i), HK_PAGED_RESULTS_OID, values.length(i)) == 0) {
	    return true;
	}
    }
    return false;
}

void FollowReferralUrls(const std::vector<std::string> &urls, const char *username,
	const char *password, const char *filter, char **attributes, FILE *results,
	int32_t &counter, int depth);

/*
 * The final result of a search whose base lies on another server carries
 * referral URLs instead of entries (the library's own chasing is off, see
 * SetConnectionOptions): they are followed like those of a search
 * reference. True when the result was such a referral.
 */
bool
FollowReferralResult(int code, const std::vector<std::string> &urls, const char *username,
	const char *password, const char *filter, char **attributes, FILE *results,
	int32_t &counter, int depth)
{
    if (code != hkldap::RC_REFERRAL || urls.empty()) {
	return false;
    }
    FollowReferralUrls(urls, username, password, filter, attributes, results, counter, depth);
    return true;
}

int
PlainSearch(Connection &connection, const char *username, const char *password,
	const char *searchBase, char **attributes, const char *filter, FILE *results,
	int32_t &counter, bool *failed, int depth)
{
    int messageId = 0;
    int rc = connection.searchAsync(searchBase, hkldap::SCOPE_SUBTREE, filter, attributes, 0,
	    std::string(), &messageId);
    if (rc != 0) {
	fprintf(stderr, "\nCannot start search (0x%lx)\n\n", static_cast<unsigned long>(rc));
	*failed = true;
	return rc;
    }
    for (;;) {
	Message message;
	int type = connection.waitOne(messageId, message);
	if (type == -1) {
	    fprintf(stderr, "ldap_result returned error (0x%lx)\n\n", connection.lastError());
	    *failed = true;
	    return -1;
	}
	if (type == 0) {
	    fprintf(stderr, "ldap_result timed out (0x%lx)\n\n", connection.lastError());
	    continue;
	}
	if (type == hkldap::RES_SEARCH_REFERENCE) {
	    FollowReferrals(connection, message, username, password, filter, attributes, results,
		    counter, depth);
	    continue;
	}
	RawEntry *entry = connection.firstEntry(message);
	if (entry != nullptr) {
	    WriteEntries(connection, entry, results, counter);
	}
	if (type == hkldap::RES_SEARCH_RESULT) {
	    int code = 0;
	    bool hasControl = false;
	    std::string cookie;
	    std::vector<std::string> urls;
	    connection.parseResult(message, &code, &hasControl, &cookie, &urls);
	    if (FollowReferralResult(code, urls, username, password, filter, attributes, results,
		    counter, depth)) {
		return hkldap::RES_SEARCH_RESULT;
	    }
	    if (code != 0) {
		fprintf(stderr, "\nSearch ended with error (0x%lx)\n\n",
			static_cast<unsigned long>(code));
		*failed = true;
	    }
	    return hkldap::RES_SEARCH_RESULT;
	}
    }
}

int
PagedSearchToFile(Connection &connection, const char *username, const char *password,
	const char *searchBase, char **attributes, const char *filter, FILE *results,
	int32_t &counter, bool *failed, int depth)
{
    PagedSearch search;
    search.base = searchBase;
    search.filter = filter;
    search.attributes = attributes;
    int failedWaits = 0;

    for (;;) {
	int messageId = 0;
	int rc = GetNextPage(connection, search, HK_SEARCH_PAGE_SIZE, &messageId);
	if (rc == hkldap::RC_NO_RESULTS_RETURNED) {
	    return rc;
	}
	if (rc == -1) {
	    fprintf(stderr, "\nCannot start search (0x%lx)\n\n",
		    static_cast<unsigned long>(search.lastCode));
	    *failed = true;
	    return -1;
	}

	bool pageDone = false;
	while (!pageDone) {
	    Message message;
	    int type = connection.waitOne(messageId, message);
	    if (type == -1) {
		fprintf(stderr, "ldap_result returned error (0x%lx)\n\n", connection.lastError());
		/* The page is asked for again, but not without end. */
		if (++failedWaits >= MAX_FAILED_WAITS) {
		    *failed = true;
		    return -1;
		}
		pageDone = true;
		continue;
	    }
	    if (type == 0) {
		fprintf(stderr, "ldap_result timed out (0x%lx)\n\n", connection.lastError());
		continue;
	    }
	    failedWaits = 0;
	    if (type == hkldap::RES_SEARCH_REFERENCE) {
		FollowReferrals(connection, message, username, password, filter, attributes,
			results, counter, depth);
		continue;
	    }
	    RawEntry *entry = connection.firstEntry(message);
	    if (entry != nullptr) {
		WriteEntries(connection, entry, results, counter);
	    }
	    if (type == hkldap::RES_SEARCH_RESULT) {
		std::vector<std::string> urls;
		int code = GetPagedResult(connection, search, message, urls);
		if (FollowReferralResult(code, urls, username, password, filter, attributes,
			results, counter, depth)) {
		    return hkldap::RES_SEARCH_RESULT;
		}
		if (code != 0) {
		    /* Without a good final result there is no cookie to go on with. */
		    fprintf(stderr, "\nSearch ended with error (0x%lx)\n\n",
			    static_cast<unsigned long>(code));
		    *failed = true;
		    return code;
		}
		pageDone = true;
	    }
	}
    }
}

} // namespace

int
SetConnectionOptions(Connection &connection)
{
    static const struct {
	hkldap::Option option;
	uint32_t value;
	const char *message;
    } options[] = {
	{hkldap::OPTION_PROTOCOL_VERSION, 3, "\nCannot set ldap version (0x%lx)\n\n"},
	/*
	 * The library's own chasing stays off: it binds anonymously, follows
	 * only the first URL of a reference, and its answers get mixed into
	 * the search (libldap even hands the reference over as well, so its
	 * entries came twice; paging lost its cookie after a chased page).
	 * The driver follows every reference itself, with the caller's
	 * credentials.
	 */
	{hkldap::OPTION_REFERRALS, 0, "\nCannot set referral option (0x%lx)\n\n"},
	{hkldap::OPTION_DEREF, 3, "\nCannot set referral option (0x%lx)\n\n"},
	{hkldap::OPTION_REFERRAL_HOP_LIMIT, 32, "\nCannot set referral hop limit (0x%lx)\n\n"},
    };
    for (const auto &o : options) {
	int rc = connection.setOption(o.option, o.value);
	if (rc != 0) {
	    fprintf(stderr, o.message, static_cast<unsigned long>(rc));
	    return -1;
	}
    }
    return 0;
}

void
WriteEntries(Connection &connection, RawEntry *entry, FILE *results, int32_t &counter)
{
    for (; entry != nullptr; entry = connection.nextEntry(entry)) {
	hkldap::AttributeWalk walk(connection, entry);
	for (const char *name = walk.next(); name != nullptr; name = walk.next()) {
	    hkldap::ValueList values(connection, entry, name);
	    if (values.count() > 0 && values.data(0) != nullptr) {
		/* A value is written up to its first NUL. */
		const char *data = values.data(0);
		const void *nul = memchr(data, '\0', values.length(0));
		size_t length = nul ? static_cast<size_t>(static_cast<const char *>(nul) - data)
			: values.length(0);
		writeAttributeField(results, name, data, length);
	    }
	}
	writeEntryEnd(results);
	counter++;
    }
}

bool
OpenReferralConnection(const std::string &url, const char *username, const char *password,
	Connection &connection, std::string &baseDn)
{
    HkReferralUrl parsed;
    if (!hkParseReferralUrl(url, parsed)) {
	return false;
    }
    unsigned long error = 0;
    int rc;
    if (!connection.open(parsed.host.c_str(), parsed.port, &error)) {
	rc = static_cast<int>(error);
    } else {
	rc = connection.simpleBind(username, password);
    }
    if (rc != 0) {
	fprintf(stderr, "Failed to authenticate: %0xlx\n", static_cast<unsigned>(rc));
	connection.close();
	return false;
    }
    SetConnectionOptions(connection);
    baseDn = parsed.baseDn;
    return true;
}

void
FollowReferrals(Connection &connection, const Message &reference, const char *username,
	const char *password, const char *filter, char **attributes, FILE *results,
	int32_t &counter, int depth)
{
    std::vector<std::string> urls;
    int rc = connection.parseReference(reference, urls);
    if (rc != 0) {
	/* Its entries are missing from the results: say so. */
	fprintf(stderr, "\nCannot read search reference (0x%lx)\n\n", static_cast<unsigned long>(rc));
	return;
    }
    FollowReferralUrls(urls, username, password, filter, attributes, results, counter, depth);
}

namespace {

/* Follows referral URLs in list order, each on a connection of its own. */
void
FollowReferralUrls(const std::vector<std::string> &urls, const char *username,
	const char *password, const char *filter, char **attributes, FILE *results,
	int32_t &counter, int depth)
{
    for (const std::string &url : urls) {
	printf("Referral: %s\n", url.c_str());
	if (depth + 1 > HK_SEARCH_MAX_REFERRAL_DEPTH) {
	    fprintf(stderr, "\nReferral not followed: more than %d nested referrals (%s)\n\n",
		    HK_SEARCH_MAX_REFERRAL_DEPTH, url.c_str());
	    continue;
	}
	Connection referral;
	std::string baseDn;
	if (!OpenReferralConnection(url, username, password, referral, baseDn)) {
	    continue;
	}
	int32_t subCounter = 0;
	bool failed = false;
	SearchToFile(referral, username, password, baseDn.c_str(), attributes, filter, results,
		subCounter, &failed, depth + 1);
	counter += subCounter;
    }
}

} // namespace

int
SearchToFile(Connection &connection, const char *username, const char *password,
	const char *searchBase, char **attributes, const char *filter, FILE *results,
	int32_t &counter, bool *failed, int depth)
{
    const char *sent = (filter == nullptr || *filter == '\0') ? "(objectClass=*)" : filter;
    int32_t count = 0;
    *failed = false;
    int status;
    if (pagingSupported) {
	status = PagedSearchToFile(connection, username, password, searchBase, attributes, sent,
		results, count, failed, depth);
    } else {
	status = PlainSearch(connection, username, password, searchBase, attributes, sent,
		results, count, failed, depth);
    }
    counter = count;
    return status;
}

int
RunDirectorySearch(const char *server, uint16_t port, const char *username,
	const char *password, const char *searchBase, const char *searchFilter,
	const char *desiredAttributes, const char *resultsPath, bool excludePrivate)
{
    pagingSupported = false;
    if (searchBase == nullptr) {
	return HK_SEARCH_NO_BASE;
    }
    if (username == nullptr) {
	username = "";
    }
    if (password == nullptr) {
	password = "";
    }
    if (*username == '\0' && *password != '\0') {
	fprintf(stderr, "\nPlease specify a user account to access search base\n\n");
	return HK_SEARCH_NO_USER;
    }
    std::string filter = hkBuildSearchFilter(searchFilter, excludePrivate);

    Connection connection;
    unsigned long error = 0;
    if (!connection.open(server ? server : "", port, &error)) {
	fprintf(stderr, "\nCannot open LDAP connection to: %s:%d (0x%lx)\n\n", server ? server : "",
		static_cast<int>(port), error);
	return HK_SEARCH_NO_CONNECTION;
    }
    int rc = connection.simpleBind(username, password);
    if (rc == hkldap::RC_SERVER_DOWN || rc == hkldap::RC_CONNECT_ERROR) {
	/* A library that connects only now: still no server at that port. */
	fprintf(stderr, "\nCannot open LDAP connection to: %s:%d (0x%lx)\n\n", server ? server : "",
		static_cast<int>(port), static_cast<unsigned long>(rc));
	return HK_SEARCH_NO_CONNECTION;
    }
    if (rc != 0) {
	fprintf(stderr, "Failed to authenticate: %0xlx\n", static_cast<unsigned>(rc));
	return HK_SEARCH_BIND_FAILED;
    }
    SetConnectionOptions(connection);

    /* Owned here so that memory running out mid-search still closes it. */
    std::unique_ptr<FILE, int (*)(FILE *)> resultsOwner(
	    HkpCreateResultsFile(resultsPath ? resultsPath : ""), fclose);
    FILE *results = resultsOwner.get();
    if (results == nullptr) {
	fprintf(stderr, "\nCannot open file %s for writing.\n\n", resultsPath ? resultsPath : "");
	return HK_SEARCH_NO_RESULTS_FILE;
    }

    pagingSupported = ProbePaging(connection);
    if (pagingSupported) {
	printf("\nDirectory supports paging. Current page size %lu\n",
		static_cast<unsigned long>(HK_SEARCH_PAGE_SIZE));
    } else {
	printf("\nDirectory does not support paging\n");
    }

    AttributeList attributes(hkSplitAttributes(desiredAttributes));
    int32_t counter = 0;
    bool failed = false;
    SearchToFile(connection, username, password, searchBase, attributes.get(), filter.c_str(),
	    results, counter, &failed, 0);

    fclose(resultsOwner.release());
    connection.close();
    fflush(stdout);
    fprintf(stderr, "Total entries = %d\n", counter);
    if (failed && counter == 0) {
	return HK_SEARCH_FAILED;
    }
    return counter;
}
