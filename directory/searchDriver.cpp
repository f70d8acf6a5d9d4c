/*
 * searchDriver.cpp --
 *
 *	The directory search driver. It talks to the server only through the
 *	client interface of ldapPlatform.h, so it is the same on every system,
 *	and prints only through searchReport.h.
 *
 *	Results are streamed: each wait asks for one message, whose entries go
 *	to the results file before the message is freed and the next one is
 *	awaited. A paged search sends the simple paged-results control itself
 *	(the control goes with each request, and each page's final result
 *	carries the cookie that the next request goes on from), which works
 *	with every client library, also where the library's own paged-search
 *	helpers are absent.
 */

#include "directory/searchDriver.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/ldapPlatform.h"
#include "directory/resultsFilePlatform.h"
#include "directory/searchReport.h"

#include <cstring>
#include <memory>
#include <vector>

namespace hkdir {

namespace {

using hkldap::Connection;
using hkldap::Message;
using hkldap::RawEntry;

/* The control that a server lists in its root DSE when it pages. */
const char PAGED_RESULTS_OID[] = "1.2.840.113556.1.4.319";

/* The filter that matches every object. */
const char ALL_OBJECTS[] = "(objectClass=*)";

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
 * Asks the root DSE whether the server offers the paged-results control.
 * The attribute is asked for by name: servers leave operational attributes
 * out of "all".
 */
bool
probePaging(Connection &connection)
{
    char supported[] = "supportedControl";
    char *attributes[] = {supported, nullptr};
    Message result;
    if (connection.searchSync("", hkldap::SCOPE_BASE, ALL_OBJECTS, attributes, result) != 0
	    || !result) {
	return false;
    }
    RawEntry *entry = connection.firstEntry(result);
    if (entry == nullptr) {
	return false;
    }
    hkldap::ValueList values(connection, entry, supported);
    for (size_t i = 0; i < values.count(); i++) {
	if (values.length(i) == strlen(PAGED_RESULTS_OID)
		&& memcmp(values.data(i), PAGED_RESULTS_OID, values.length(i)) == 0) {
	    return true;
	}
    }
    return false;
}

/*
 * Sets the connection options in order; the first one refused is reported
 * and the rest are left as they are.
 */
void
setConnectionOptions(Connection &connection)
{
    static const struct {
	hkldap::Option option;
	uint32_t value;
	void (*reportRefusal)(int code);
    } options[] = {
	{hkldap::OPTION_PROTOCOL_VERSION, hkldap::PROTOCOL_VERSION_3, reportCannotSetVersion},
	/*
	 * The library's own chasing stays off: it binds anonymously, follows
	 * only the first URL of a reference, and its answers get mixed into
	 * the search (libldap even hands the reference over as well, so its
	 * entries came twice; paging lost its cookie after a chased page).
	 * The driver follows every referral itself, with the caller's
	 * credentials.
	 */
	{hkldap::OPTION_REFERRALS, hkldap::REFERRALS_HANDED_OVER, reportCannotSetReferrals},
	{hkldap::OPTION_DEREF, hkldap::DEREF_ALWAYS, reportCannotSetReferrals},
	{hkldap::OPTION_REFERRAL_HOP_LIMIT, HK_SEARCH_MAX_REFERRAL_DEPTH, reportCannotSetHopLimit},
    };
    for (const auto &o : options) {
	int rc = connection.setOption(o.option, o.value);
	if (rc != 0) {
	    o.reportRefusal(rc);
	    return;
	}
    }
}

/*
 * One run of runDirectorySearch: what every server searched in it shares,
 * the first one and those that referrals lead to. The entries of all of
 * them go to one results file and one count.
 */
class SearchRun {
public:
    SearchRun(const SearchParameters &parameters, const std::string &filter, FILE *results,
	    bool paging)
	: parameters_(parameters), filter_(filter.empty() ? ALL_OBJECTS : filter),
	  attributes_(splitAttributes(parameters.attributes)), results_(results), paging_(paging)
    {
    }

    /*
     * Searches the subtree of base on one server, depth referral servers
     * away from the first one. True when the search could not start or
     * ended with an error.
     */
    bool searchServer(Connection &connection, const std::string &base, int depth);

    /* The entries written so far. */
    int32_t count() const { return count_; }

    /* True once the results file refused a write. */
    bool writeFailed() const { return writeFailed_; }

private:
    void writeEntries(Connection &connection, const Message &message);
    void followReference(Connection &connection, const Message &reference, int depth);
    void followUrls(const std::vector<std::string> &urls, int depth);
    bool openReferralConnection(const std::string &url, Connection &connection,
	    std::string &baseDn);

    const SearchParameters &parameters_;
    const std::string filter_;
    AttributeList attributes_;
    FILE *results_;
    const bool paging_;
    int32_t count_ = 0;
    bool writeFailed_ = false;
    NameSet seen_;		/* the names of the entry being written */
};

/*
 * One request (one page when paging) at a time; its messages are taken one
 * by one until its final result, which either ends the search or, with a
 * cookie, leads to the request for the next page.
 */
bool
SearchRun::searchServer(Connection &connection, const std::string &base, int depth)
{
    unsigned pageSize = paging_ ? HK_SEARCH_PAGE_SIZE : 0;
    std::string cookie;
    int failedWaits = 0;
    for (;;) {
	int messageId = 0;
	int rc = connection.searchAsync(base.c_str(), hkldap::SCOPE_SUBTREE, filter_.c_str(),
		attributes_.get(), pageSize, cookie, &messageId);
	if (rc != 0) {
	    reportCannotStartSearch(rc);
	    return true;
	}

	bool requestDone = false;
	while (!requestDone) {
	    Message message;
	    int type = connection.waitOne(messageId, message);
	    switch (type) {
	    case hkldap::WAIT_TIMED_OUT:
		reportWaitTimedOut(connection.lastError());
		break;
	    case hkldap::WAIT_FAILED:
		reportWaitFailed(connection.lastError());
		/*
		 * A later page is asked for again with its cookie, but not
		 * without end. Before the first page's result there is no
		 * cookie to go on from: the search has failed, like a plain one.
		 */
		if (!paging_ || cookie.empty() || ++failedWaits >= MAX_FAILED_WAITS) {
		    return true;
		}
		requestDone = true;
		break;
	    case hkldap::RES_SEARCH_REFERENCE:
		failedWaits = 0;
		followReference(connection, message, depth);
		break;
	    case hkldap::RES_SEARCH_RESULT: {
		failedWaits = 0;
		hkldap::FinalResult result;
		connection.parseResult(message, result);
		/*
		 * A search whose base lies on another server gets referral URLs
		 * instead of entries (the library's own chasing is off): they are
		 * followed like those of a search reference.
		 */
		if (result.code == hkldap::RC_REFERRAL && !result.referrals.empty()) {
		    followUrls(result.referrals, depth);
		    return false;
		}
		if (result.code != hkldap::RC_SUCCESS) {
		    /* Without a good final result there is no cookie to go on with. */
		    reportSearchError(result.code);
		    return true;
		}
		cookie = result.hasPageControl ? result.cookie : std::string();
		if (!paging_ || cookie.empty()) {
		    return false;
		}
		requestDone = true;
		break;
	    }
	    case hkldap::RES_SEARCH_ENTRY:
	    default:
		/* Messages of other types hold no entries. */
		failedWaits = 0;
		writeEntries(connection, message);
		if (writeFailed_) {
		    return true;
		}
		break;
	    }
	}
    }
}

/*
 * Writes every entry of a message, each attribute's first value cut at a
 * NUL, walking each entry once. A write that the file refuses (a full
 * disk) stops the writing: writeFailed() tells.
 */
void
SearchRun::writeEntries(Connection &connection, const Message &message)
{
    for (RawEntry *entry = connection.firstEntry(message); entry != nullptr && !writeFailed_;
	    entry = connection.nextEntry(entry)) {
	hkldap::AttributeWalk walk(connection, entry);
	bool written = true;
	/*
	 * A server may send one attribute in several parts: the first part's
	 * first value is the attribute's first value, as a look-up by name
	 * finds it.
	 */
	seen_.clear();
	for (const char *name = walk.next(); name != nullptr && written; name = walk.next()) {
	    const char *data;
	    size_t length;
	    if (seen_.insert(name) && walk.firstValue(&data, &length)) {
		const void *nul = memchr(data, '\0', length);
		if (nul != nullptr) {
		    length = static_cast<size_t>(static_cast<const char *>(nul) - data);
		}
		written = writeAttributeField(results_, name, data, length);
	    }
	}
	if (!written || !writeEntryEnd(results_)) {
	    writeFailed_ = true;
	    return;
	}
	count_++;
    }
}

/* Follows every URL of one search reference. */
void
SearchRun::followReference(Connection &connection, const Message &reference, int depth)
{
    std::vector<std::string> urls;
    int rc = connection.parseReference(reference, urls);
    if (rc != 0) {
	/* Its entries are missing from the results: say so. */
	reportUnreadableReference(rc);
	return;
    }
    followUrls(urls, depth);
}

/* Follows referral URLs in list order, each on a connection of its own. */
void
SearchRun::followUrls(const std::vector<std::string> &urls, int depth)
{
    for (const std::string &url : urls) {
	reportReferral(url);
	if (depth + 1 > HK_SEARCH_MAX_REFERRAL_DEPTH) {
	    reportReferralTooDeep(url, HK_SEARCH_MAX_REFERRAL_DEPTH);
	    continue;
	}
	Connection referral;
	std::string baseDn;
	if (openReferralConnection(url, referral, baseDn)) {
	    /* A referral server's failure leaves the others' entries as they are. */
	    searchServer(referral, baseDn, depth + 1);
	}
    }
}

/*
 * Opens, binds and configures a connection to the server that a referral
 * URL names, with the caller's credentials, and gives back the URL's base
 * DN. False when the URL cannot be used or the server refuses.
 */
bool
SearchRun::openReferralConnection(const std::string &url, Connection &connection,
	std::string &baseDn)
{
    ReferralUrl parsed;
    if (!parseReferralUrl(url, parsed)) {
	return false;
    }
    unsigned long error = 0;
    bool opened = connection.open(parsed.host.c_str(), parsed.port, &error);
    int rc = opened ? connection.simpleBind(parameters_.username.c_str(),
	    parameters_.password.c_str()) : static_cast<int>(error);
    if (!opened || rc != 0) {
	reportBindFailed(static_cast<unsigned>(rc));
	connection.close();
	return false;
    }
    setConnectionOptions(connection);
    baseDn = parsed.baseDn;
    return true;
}

} // namespace

int
runDirectorySearch(const SearchParameters &parameters)
{
    if (parameters.username.empty() && !parameters.password.empty()) {
	reportNoUsername();
	return HK_SEARCH_NO_USER;
    }
    std::string filter = buildSearchFilter(parameters.searchFilter, !parameters.includePrivate);

    Connection connection;
    unsigned long error = 0;
    if (!connection.open(parameters.server.c_str(), parameters.port, &error)) {
	reportCannotConnect(parameters.server, parameters.port, error);
	return HK_SEARCH_NO_CONNECTION;
    }
    int rc = connection.simpleBind(parameters.username.c_str(), parameters.password.c_str());
    if (rc == hkldap::RC_SERVER_DOWN || rc == hkldap::RC_CONNECT_ERROR) {
	/* A library that connects only now: still no server at that port. */
	reportCannotConnect(parameters.server, parameters.port, static_cast<unsigned long>(rc));
	return HK_SEARCH_NO_CONNECTION;
    }
    if (rc != 0) {
	reportBindFailed(static_cast<unsigned>(rc));
	return HK_SEARCH_BIND_FAILED;
    }
    setConnectionOptions(connection);

    /* Owned here so that memory running out mid-search still closes it. */
    std::unique_ptr<FILE, int (*)(FILE *)> results(
	    HkpCreateResultsFile(parameters.resultsPath.c_str()), fclose);
    if (!results) {
	reportCannotCreateResults(parameters.resultsPath);
	return HK_SEARCH_NO_RESULTS_FILE;
    }

    bool paging = probePaging(connection);
    reportPaging(paging, HK_SEARCH_PAGE_SIZE);

    SearchRun run(parameters, filter, results.get(), paging);
    bool failed = run.searchServer(connection, parameters.searchBase, 0);

    /* Written only when every write and the close went through (a full disk). */
    bool closed = fclose(results.release()) == 0;
    connection.close();
    if (run.writeFailed() || !closed) {
	reportCannotWriteResults(parameters.resultsPath);
	return HK_SEARCH_NO_RESULTS_FILE;
    }
    reportTotal(run.count());
    if (failed && run.count() == 0) {
	return HK_SEARCH_FAILED;
    }
    return run.count();
}

} // namespace hkdir
