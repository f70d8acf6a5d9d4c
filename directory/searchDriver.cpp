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
#include <set>
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

/* How the search of one server ended. */
enum class Outcome {
    DONE,
    FAILED,		/* it could not start, or ended with an error */
    TIMED_OUT		/* the server's next message did not come in time */
};

/* What the root DSE says about paging. */
enum class Paging {
    OFFERED,
    NOT_OFFERED,
    TIMED_OUT
};

/*
 * Asks the root DSE whether the server offers the paged-results control.
 * The attribute is asked for by name: servers leave operational attributes
 * out of "all".
 */
Paging
probePaging(Connection &connection)
{
    char supported[] = "supportedControl";
    char *attributes[] = {supported, nullptr};
    Message result;
    int rc = connection.searchSync("", hkldap::SCOPE_BASE, ALL_OBJECTS, attributes, result);
    if (rc == hkldap::RC_TIMEOUT) {
	return Paging::TIMED_OUT;
    }
    if (rc != 0 || !result) {
	return Paging::NOT_OFFERED;
    }
    RawEntry *entry = connection.firstEntry(result);
    if (entry == nullptr) {
	return Paging::NOT_OFFERED;
    }
    hkldap::ValueList values(connection, entry, supported);
    for (size_t i = 0; i < values.count(); i++) {
	if (values.length(i) == strlen(PAGED_RESULTS_OID)
		&& memcmp(values.data(i), PAGED_RESULTS_OID, values.length(i)) == 0) {
	    return Paging::OFFERED;
	}
    }
    return Paging::NOT_OFFERED;
}

/* What became of opening, securing and binding one connection. */
enum class Connected {
    YES,
    UNREACHABLE,
    TIMED_OUT,
    NOT_SECURED,
    BIND_REFUSED
};

struct ConnectAttempt {
    Connected outcome = Connected::YES;
    hkldap::Failure failure;
    const char *step = "";	/* the step that failed */
};

/*
 * Opens a connection (with TLS from the first byte for ldaps), runs
 * StartTLS on it when asked, and binds with the caller's credentials. The
 * bind is sent only once TLS stands when either was asked for. The
 * connection is closed again unless the outcome is YES.
 */
ConnectAttempt
connectAndBind(Connection &connection, const std::string &host, unsigned port, bool ldaps,
	bool startTls, const SearchParameters &parameters)
{
    ConnectAttempt attempt;
    attempt.step = ldaps ? "connect with TLS" : "connect";
    hkldap::ConnectSettings settings;
    settings.tls = ldaps;
    settings.caCertFile = parameters.caCertFile;
    settings.timeoutSeconds = parameters.timeoutSeconds;
    hkldap::StepResult step = connection.open(host.c_str(), port, settings, attempt.failure);
    if (step == hkldap::STEP_OK && startTls) {
	attempt.step = "StartTLS";
	step = connection.startTls(attempt.failure);
    }
    switch (step) {
    case hkldap::STEP_OK:
	break;
    case hkldap::STEP_TIMED_OUT:
	attempt.outcome = Connected::TIMED_OUT;
	break;
    case hkldap::STEP_TLS_FAILED:
	attempt.outcome = Connected::NOT_SECURED;
	break;
    case hkldap::STEP_UNREACHABLE:
    default:
	attempt.outcome = Connected::UNREACHABLE;
	break;
    }
    if (attempt.outcome == Connected::YES) {
	attempt.step = "bind";
	int rc = connection.simpleBind(parameters.username.c_str(), parameters.password.c_str(),
		attempt.failure);
	if (rc == hkldap::RC_TIMEOUT) {
	    attempt.outcome = Connected::TIMED_OUT;
	} else if (rc == hkldap::RC_CONNECT_ERROR && (ldaps || startTls)) {
	    /* The server ended the TLS session it had set up (a client certificate it demands). */
	    attempt.outcome = Connected::NOT_SECURED;
	} else if (rc == hkldap::RC_SERVER_DOWN || rc == hkldap::RC_CONNECT_ERROR) {
	    /* A library that connects only now: still no server at that port. */
	    attempt.outcome = Connected::UNREACHABLE;
	} else if (rc != 0) {
	    attempt.outcome = Connected::BIND_REFUSED;
	}
    }
    if (attempt.outcome != Connected::YES) {
	connection.close();
    }
    return attempt;
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
	  attributes_(splitAttributes(parameters.attributes)), writer_(results), paging_(paging)
    {
    }

    /*
     * Searches the subtree of base on one server, depth referral servers
     * away from the first one.
     */
    Outcome searchServer(Connection &connection, const std::string &base, int depth);

    /* The entries written so far. */
    int32_t count() const { return count_; }

    /* True once the results file refused a write. */
    bool writeFailed() const { return writeFailed_; }

private:
    void writeEntries(Connection &connection, const Message &message);
    bool writeValue(const std::string &name, bool binary, const char *data, size_t length);
    bool isBinaryAt(size_t at, const char *name);
    bool writeFurtherRanges(Connection &connection, RawEntry *entry, const AttributeRange &first,
	    bool binary);
    void followReference(Connection &connection, const Message &reference, int depth);
    void followUrls(const std::vector<std::string> &urls, int depth);
    bool openReferralConnection(const std::string &url, Connection &connection,
	    std::string &baseDn);

    const SearchParameters &parameters_;
    const std::string filter_;
    AttributeList attributes_;
    EntryWriter writer_;	/* to the results file */
    const bool paging_;
    int32_t count_ = 0;
    bool writeFailed_ = false;
    NameSet seen_;		/* the names of the entry being written */
    /* Whether each name of the last entry, by its place, is binary. */
    std::vector<std::pair<std::string, bool>> binaryByPlace_;
    std::string name_;		/* the attribute being written, its storage kept */
    std::set<std::string> referralsSearched_;	/* URLs, each searched once */
};

/*
 * One request (one page when paging) at a time; its messages are taken one
 * by one until its final result, which either ends the search or, with a
 * cookie, leads to the request for the next page.
 */
Outcome
SearchRun::searchServer(Connection &connection, const std::string &base, int depth)
{
    unsigned pageSize = paging_ ? HK_SEARCH_PAGE_SIZE : 0;
    std::string cookie;
    std::set<std::string> cookiesSeen;
    unsigned pages = 0;
    int failedWaits = 0;
    for (;;) {
	int messageId = 0;
	int rc = connection.searchAsync(base.c_str(), hkldap::SCOPE_SUBTREE, filter_.c_str(),
		attributes_.get(), pageSize, cookie, &messageId);
	if (rc != 0) {
	    reportCannotStartSearch(rc);
	    return Outcome::FAILED;
	}

	bool requestDone = false;
	while (!requestDone) {
	    Message message;
	    int type = connection.waitOne(messageId, message);
	    switch (type) {
	    case hkldap::WAIT_TIMED_OUT:
		/* What came so far is kept; the server is not waited for again. */
		reportWaitTimedOut(parameters_.timeoutSeconds);
		return Outcome::TIMED_OUT;
	    case hkldap::WAIT_FAILED:
		reportWaitFailed(connection.lastError());
		/*
		 * A later page is asked for again with its cookie, but not
		 * without end. Before the first page's result there is no
		 * cookie to go on from: the search has failed, like a plain one.
		 */
		if (!paging_ || cookie.empty() || ++failedWaits >= MAX_FAILED_WAITS) {
		    return Outcome::FAILED;
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
		    return Outcome::DONE;
		}
		if (result.code != hkldap::RC_SUCCESS) {
		    /* Without a good final result there is no cookie to go on with. */
		    reportSearchError(result.code, result.diagnostic);
		    return Outcome::FAILED;
		}
		cookie = result.hasPageControl ? result.cookie : std::string();
		if (!paging_ || cookie.empty()) {
		    return Outcome::DONE;
		}
		/*
		 * A server that hands out a cookie it gave before, or pages
		 * without end, would keep the search (and the results file)
		 * growing for ever.
		 */
		if (!cookiesSeen.insert(cookie).second) {
		    reportCookieRepeated();
		    return Outcome::FAILED;
		}
		if (++pages >= parameters_.maxPages) {
		    reportTooManyPages(parameters_.maxPages);
		    return Outcome::FAILED;
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
		    return Outcome::FAILED;
		}
		break;
	    }
	}
    }
}

/*
 * Writes one value of an attribute: the bytes as they are, or their
 * hexadecimal for a binary attribute. False when the file refuses it.
 */
bool
SearchRun::writeValue(const std::string &name, bool binary, const char *data, size_t length)
{
    return binary ? writer_.hexField(name.c_str(), data, length)
	    : writer_.field(name.c_str(), data, length);
}

/*
 * isBinaryAttribute of the name that stands at this place of the entry,
 * remembered for the next entry, which usually has the same names.
 */
bool
SearchRun::isBinaryAt(size_t at, const char *name)
{
    const size_t PLACES = 64;
    if (at < binaryByPlace_.size() && binaryByPlace_[at].first == name) {
	return binaryByPlace_[at].second;
    }
    bool binary = isBinaryAttribute(name, parameters_.binaryAttributes);
    if (at < binaryByPlace_.size()) {
	binaryByPlace_[at] = {name, binary};
    } else if (at == binaryByPlace_.size() && at < PLACES) {
	binaryByPlace_.emplace_back(name, binary);
    }
    return binary;
}

/*
 * Writes every entry of a message, walking each entry once: each
 * attribute's first value, or with allValues every value, an attribute
 * that the server hands out in ranges fetched whole under its plain name.
 * A write that the file refuses (a full disk) stops the writing:
 * writeFailed() tells.
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
	 * finds it; with allValues the parts' values follow one another.
	 */
	seen_.clear();
	size_t place = 0;
	for (const char *name = walk.next(); name != nullptr && written;
		name = walk.next(), place++) {
	    const char *data;
	    size_t length;
	    if (!parameters_.allValues) {
		if (seen_.insert(name) && walk.value(0, &data, &length)) {
		    bool binary = isBinaryAt(place, name);
		    written = binary ? writer_.hexField(name, data, length)
			    : writer_.field(name, data, length);
		}
		continue;
	    }
	    name_ = name;
	    AttributeRange range;
	    bool ranged = parseRangedName(name_, range);
	    const std::string &plain = ranged ? range.plainName : name_;
	    bool binary = isBinaryAttribute(plain, parameters_.binaryAttributes);
	    for (size_t i = 0; written && walk.value(i, &data, &length); i++) {
		written = writeValue(plain, binary, data, length);
	    }
	    if (written && ranged && !range.last) {
		written = writeFurtherRanges(connection, entry, range, binary);
	    }
	}
	if (!written || !writer_.endEntry()) {
	    writeFailed_ = true;
	    return;
	}
	count_++;
    }
}

/*
 * The values of an attribute beyond the range that came with its entry:
 * each further range is asked for with a search of the entry alone, on the
 * same connection, until the server marks one as the last. What cannot be
 * fetched is said on stderr; the values read stay. False only when the
 * file refuses a write.
 */
bool
SearchRun::writeFurtherRanges(Connection &connection, RawEntry *entry,
	const AttributeRange &first, bool binary)
{
    std::string dn;
    if (!connection.entryDn(entry, dn)) {
	reportRangeIncomplete("an entry", first.plainName, "its DN cannot be read");
	return true;
    }
    /*
     * Each request asks for a range as wide as the server's first one, the
     * step the server chose: a server that ranges only when asked then
     * keeps answering in that step, and each answer stays as small as the
     * first (a client library may not cope with a very large message).
     */
    uint64_t step = first.high - first.low + 1;
    uint64_t next = first.high + 1;
    for (unsigned requests = 0; requests < HK_SEARCH_MAX_RANGE_REQUESTS; requests++) {
	std::string ask = first.plainName + ";range=" + std::to_string(next) + "-"
		+ std::to_string(next + step - 1);
	AttributeList attributes({ask});
	Message result;
	int rc = connection.searchSync(dn.c_str(), hkldap::SCOPE_BASE, ALL_OBJECTS,
		attributes.get(), result);
	RawEntry *found = rc == 0 && result ? connection.firstEntry(result) : nullptr;
	if (found == nullptr) {
	    reportRangeIncomplete(dn, first.plainName, rc == hkldap::RC_TIMEOUT
		    ? std::string("timed out")
		    : hkldap::libraryText(rc == 0 ? hkldap::RC_LOCAL_ERROR : rc));
	    return true;
	}
	hkldap::AttributeWalk walk(connection, found);
	AttributeRange range;
	const char *name = walk.next();
	bool ranged = false;
	for (; name != nullptr; name = walk.next()) {
	    std::string text(name);
	    ranged = parseRangedName(text, range);
	    if (compareNamesCaseBlind(ranged ? range.plainName : text, first.plainName) == 0) {
		break;
	    }
	}
	if (name == nullptr) {
	    reportRangeIncomplete(dn, first.plainName, "the server sent no further range");
	    return true;
	}
	/*
	 * A range must start where the last one ended (nothing is written from
	 * one that does not); a name without a range holds all that is left.
	 */
	if (ranged && range.low != next) {
	    reportRangeIncomplete(dn, first.plainName, "the server's ranges do not follow on");
	    return true;
	}
	const char *data;
	size_t length;
	for (size_t i = 0; walk.value(i, &data, &length); i++) {
	    if (!writeValue(first.plainName, binary, data, length)) {
		return false;
	    }
	}
	if (!ranged || range.last) {
	    return true;
	}
	next = range.high + 1;
    }
    reportRangeIncomplete(dn, first.plainName, "too many ranges");
    return true;
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

/*
 * Follows referral URLs in list order, each on a connection of its own.
 * Within one search a URL is searched once, and the referral searches
 * together are bounded, so that servers whose references lead back to
 * themselves cannot make the search grow without end.
 */
void
SearchRun::followUrls(const std::vector<std::string> &urls, int depth)
{
    for (const std::string &url : urls) {
	reportReferral(url);
	if (depth + 1 > HK_SEARCH_MAX_REFERRAL_DEPTH) {
	    reportReferralTooDeep(url, HK_SEARCH_MAX_REFERRAL_DEPTH);
	    continue;
	}
	if (referralsSearched_.count(url) != 0) {
	    reportReferralRepeated(url);
	    continue;
	}
	if (referralsSearched_.size() >= parameters_.maxReferralSearches) {
	    reportTooManyReferrals(url, static_cast<int>(parameters_.maxReferralSearches));
	    continue;
	}
	referralsSearched_.insert(url);
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
    /*
     * An ldaps URL is opened with TLS; a plain one gets StartTLS when the
     * search itself is secure, so that the credentials never go in clear.
     */
    bool secure = parameters_.security != Security::NONE;
    ConnectAttempt attempt = connectAndBind(connection, parsed.host, parsed.port, parsed.tls,
	    secure && !parsed.tls, parameters_);
    const hkldap::Failure &f = attempt.failure;
    switch (attempt.outcome) {
    case Connected::YES:
	break;
    case Connected::UNREACHABLE:
	reportCannotConnect(url, f.code, f.serverText);
	return false;
    case Connected::TIMED_OUT:
	reportConnectTimedOut(url, attempt.step, parameters_.timeoutSeconds, f.code);
	return false;
    case Connected::NOT_SECURED:
	reportReferralWithoutTls(url, f.code, f.serverText);
	return false;
    case Connected::BIND_REFUSED:
    default:
	reportBindFailed(f.code, f.serverText);
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
    if (!parameters.badOption.empty()) {
	reportBadOption(parameters.badOption, parameters.badValue);
	return HK_SEARCH_BAD_OPTION;
    }
    if (parameters.username.empty() && !parameters.password.empty()) {
	reportNoUsername();
	return HK_SEARCH_NO_USER;
    }
    std::string filter = buildSearchFilter(parameters.searchFilter, !parameters.includePrivate);

    Connection connection;
    std::string where = parameters.server + ":" + std::to_string(parameters.port);
    ConnectAttempt attempt = connectAndBind(connection, parameters.server, parameters.port,
	    parameters.security == Security::LDAPS, parameters.security == Security::STARTTLS,
	    parameters);
    const hkldap::Failure &f = attempt.failure;
    switch (attempt.outcome) {
    case Connected::YES:
	break;
    case Connected::UNREACHABLE:
	reportCannotConnect(where, f.code, f.serverText);
	return HK_SEARCH_NO_CONNECTION;
    case Connected::TIMED_OUT:
	reportConnectTimedOut(where, attempt.step, parameters.timeoutSeconds, f.code);
	return HK_SEARCH_NO_CONNECTION;
    case Connected::NOT_SECURED:
	reportCannotSecure(where, f.code, f.serverText);
	return HK_SEARCH_NOT_SECURED;
    case Connected::BIND_REFUSED:
    default:
	reportBindFailed(f.code, f.serverText);
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

    Paging paging = probePaging(connection);
    if (paging == Paging::TIMED_OUT) {
	reportWaitTimedOut(parameters.timeoutSeconds);
	reportTotal(0);
	return HK_SEARCH_NO_CONNECTION;
    }
    reportPaging(paging == Paging::OFFERED, HK_SEARCH_PAGE_SIZE);

    SearchRun run(parameters, filter, results.get(), paging == Paging::OFFERED);
    Outcome outcome = run.searchServer(connection, parameters.searchBase, 0);

    /* Written only when every write and the close went through (a full disk). */
    bool closed = fclose(results.release()) == 0;
    connection.close();
    if (run.writeFailed() || !closed) {
	reportCannotWriteResults(parameters.resultsPath);
	return HK_SEARCH_NO_RESULTS_FILE;
    }
    reportTotal(run.count());
    if (run.count() == 0 && outcome == Outcome::TIMED_OUT) {
	return HK_SEARCH_NO_CONNECTION;
    }
    if (run.count() == 0 && outcome == Outcome::FAILED) {
	return HK_SEARCH_FAILED;
    }
    return run.count();
}

} // namespace hkdir
