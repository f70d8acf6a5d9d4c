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

#include "directory/base/dcOrder.h"
#include "directory/base/pageProgress.h"
#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/base/saslMechanism.h"
#include "directory/dcPlatform.h"
#include "directory/ldapPlatform.h"
#include "directory/resultsFilePlatform.h"
#include "directory/searchReport.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
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
    LIMITED,		/* the server stopped at a limit (size, time) */
    TIMED_OUT,		/* the server's next message did not come in time */
    TIME_LIMIT		/* the time limit of the whole search is over */
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

/* Less than a millisecond left before the deadline, as a wait counts it. */
bool
isOver(const hkldap::Deadline &deadline)
{
    return deadline.set && hkldap::waitMilliseconds(0, deadline) == 0;
}

/* Whole seconds left before the deadline, at least 1; 0 when there is none. */
unsigned
secondsLeft(const hkldap::Deadline &deadline)
{
    if (!deadline.set) {
	return 0;
    }
    long long ms = hkldap::waitMilliseconds(0, deadline);
    return static_cast<unsigned>(ms <= 1000 ? 1 : (ms + 999) / 1000);
}

/* What the root DSE says about the server's SASL mechanisms. */
enum class Mechanisms {
    LISTED,		/* read: the values of supportedSASLMechanisms, maybe none */
    UNKNOWN,		/* the root DSE cannot be read */
    TIMED_OUT
};

Mechanisms
probeMechanisms(Connection &connection, std::vector<std::string> &offered)
{
    char supported[] = "supportedSASLMechanisms";
    char *attributes[] = {supported, nullptr};
    Message result;
    int rc = connection.searchSync("", hkldap::SCOPE_BASE, ALL_OBJECTS, attributes, result);
    if (rc == hkldap::RC_TIMEOUT) {
	return Mechanisms::TIMED_OUT;
    }
    RawEntry *entry = rc == 0 && result ? connection.firstEntry(result) : nullptr;
    if (entry == nullptr) {
	return Mechanisms::UNKNOWN;
    }
    hkldap::ValueList values(connection, entry, supported);
    for (size_t i = 0; i < values.count(); i++) {
	offered.emplace_back(values.data(i), values.length(i));
    }
    return Mechanisms::LISTED;
}

/*
 * The negotiate bind: with the Kerberos mechanism that the server lists
 * (GSSAPI, else GSS-SPNEGO), or GSSAPI when its root DSE cannot be read.
 * A server that lists neither is refused before anything is sent. 0 or
 * a result code, with what went wrong in failure.
 */
int
negotiate(Connection &connection, hkldap::Failure &failure)
{
    failure = hkldap::Failure();
    std::vector<std::string> offered;
    std::string mechanism = HK_NEGOTIATE_DEFAULT_MECHANISM;
    switch (probeMechanisms(connection, offered)) {
    case Mechanisms::TIMED_OUT:
	failure.code = hkldap::RC_TIMEOUT;
	failure.libraryText = hkldap::libraryText(failure.code);
	return hkldap::RC_TIMEOUT;
    case Mechanisms::LISTED:
	mechanism = negotiateMechanism(offered);
	if (mechanism.empty()) {
	    failure.code = hkldap::RC_AUTH_METHOD_NOT_SUPPORTED;
	    failure.libraryText = hkldap::libraryText(failure.code);
	    failure.serverText = noNegotiateMechanismText(offered);
	    return hkldap::RC_AUTH_METHOD_NOT_SUPPORTED;
	}
	break;
    case Mechanisms::UNKNOWN:
    default:
	break;
    }
    return connection.negotiateBind(mechanism, failure);
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
 * StartTLS on it when asked, and binds with the caller's credentials (or,
 * with authentication negotiate, the account's own Kerberos ones). The
 * bind is sent only once TLS stands when either was asked for. Every wait
 * ends by the deadline too. The connection is closed again unless the
 * outcome is YES.
 */
ConnectAttempt
connectAndBind(Connection &connection, const std::string &host, unsigned port, bool ldaps,
	bool startTls, const SearchParameters &parameters, const hkldap::Deadline &deadline)
{
    ConnectAttempt attempt;
    attempt.step = ldaps ? "connect with TLS" : "connect";
    if (isOver(deadline)) {
	attempt.outcome = Connected::TIMED_OUT;
	attempt.failure.code = hkldap::RC_TIMEOUT;
	return attempt;
    }
    hkldap::ConnectSettings settings;
    settings.tls = ldaps;
    settings.caCertFile = parameters.caCertFile;
    settings.timeoutSeconds = parameters.timeoutSeconds;
    unsigned left = secondsLeft(deadline);
    if (left > 0 && (settings.timeoutSeconds == 0 || left < settings.timeoutSeconds)) {
	settings.timeoutSeconds = left;
    }
    hkldap::StepResult step = connection.open(host.c_str(), port, settings, attempt.failure);
    if (step == hkldap::STEP_OK) {
	connection.setDeadline(deadline);
    }
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
	int rc = parameters.authentication == Authentication::NEGOTIATE
		? negotiate(connection, attempt.failure)
		: connection.simpleBind(parameters.username.c_str(), parameters.password.c_str(),
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

/* Why a connection could not be used, as the search tells it. */
struct ConnectFailure {
    const char *word;	/* the cause's word */
    std::string text;	/* the line said */
    int code;		/* the search's code when no other server is left */
};

/*
 * Says why a connection could not be made, secured or bound: where is
 * "host:port" for a server of the search, the URL for a referral.
 */
ConnectFailure
reportConnectFailure(SearchReport &report, const ConnectAttempt &attempt,
	const std::string &where, bool referral, const SearchParameters &parameters,
	const hkldap::Deadline &deadline)
{
    const hkldap::Failure &f = attempt.failure;
    switch (attempt.outcome) {
    case Connected::UNREACHABLE:
	return {"CONNECT", report.cannotConnect(where, f.code, f.serverText),
		HK_SEARCH_NO_CONNECTION};
    case Connected::TIMED_OUT:
	if (isOver(deadline)) {
	    return {"TIMELIMIT", report.timeLimitOver(parameters.timeLimit),
		    HK_SEARCH_NO_CONNECTION};
	}
	return {"CONNECT", report.connectTimedOut(where, attempt.step,
		parameters.timeoutSeconds, f.code), HK_SEARCH_NO_CONNECTION};
    case Connected::NOT_SECURED:
	return {"TLS", referral ? report.referralWithoutTls(where, f.code, f.serverText)
		: report.cannotSecure(where, f.code, f.serverText), HK_SEARCH_NOT_SECURED};
    case Connected::BIND_REFUSED:
    default:
	return {"BIND", report.bindFailed(f.code, f.serverText), HK_SEARCH_BIND_FAILED};
    }
}

/*
 * Sets the connection options in order; the first one refused is reported
 * and the rest are left as they are.
 */
void
setConnectionOptions(Connection &connection, SearchReport &report)
{
    static const struct {
	hkldap::Option option;
	uint32_t value;
	std::string (SearchReport::*reportRefusal)(int code);
    } options[] = {
	{hkldap::OPTION_PROTOCOL_VERSION, hkldap::PROTOCOL_VERSION_3,
		&SearchReport::cannotSetVersion},
	/*
	 * The library's own chasing stays off: it binds anonymously, follows
	 * only the first URL of a reference, and its answers get mixed into
	 * the search (libldap even hands the reference over as well, so its
	 * entries came twice; paging lost its cookie after a chased page).
	 * The driver follows every referral itself, with the caller's
	 * credentials.
	 */
	{hkldap::OPTION_REFERRALS, hkldap::REFERRALS_HANDED_OVER,
		&SearchReport::cannotSetReferrals},
	{hkldap::OPTION_DEREF, hkldap::DEREF_ALWAYS, &SearchReport::cannotSetReferrals},
	{hkldap::OPTION_REFERRAL_HOP_LIMIT, HK_SEARCH_MAX_REFERRAL_DEPTH,
		&SearchReport::cannotSetHopLimit},
    };
    for (const auto &o : options) {
	int rc = connection.setOption(o.option, o.value);
	if (rc != 0) {
	    (report.*o.reportRefusal)(rc);
	    return;
	}
    }
}

/* The scope of the client library. */
int
scopeOf(Scope scope)
{
    switch (scope) {
    case Scope::BASE:
	return hkldap::SCOPE_BASE;
    case Scope::ONE_LEVEL:
	return hkldap::SCOPE_ONE_LEVEL;
    case Scope::SUBTREE:
    default:
	return hkldap::SCOPE_SUBTREE;
    }
}

/* The word of a search's final result code that cut it short. */
const char *
wordOfResult(int code)
{
    switch (code) {
    case hkldap::RC_SIZE_LIMIT_EXCEEDED:
	return "SIZELIMIT";
    case hkldap::RC_TIME_LIMIT_EXCEEDED:
	return "TIMELIMIT";
    case hkldap::RC_SERVER_DOWN:
	return "CONNECTION";
    default:
	return "SEARCH";
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
	    bool paging, SearchReport &report, const hkldap::Deadline &deadline)
	: parameters_(parameters), filter_(filter.empty() ? ALL_OBJECTS : filter),
	  attributes_(splitAttributes(parameters.attributes)), writer_(results), paging_(paging),
	  report_(report), deadline_(deadline)
    {
    }

    /*
     * Searches the subtree of base on one server, depth referral servers
     * away from the first one.
     */
    Outcome searchServer(Connection &connection, const std::string &base, int depth);

    /* The entries written so far, and those of them that have a field. */
    int32_t count() const { return count_; }
    int32_t items() const { return items_; }

    /* True once the results file refused a write. */
    bool writeFailed() const { return writeFailed_; }

private:
    Outcome waitEnded();
    enum class PageEnd { NEXT_PAGE, LAST_PAGE, STOPPED };
    PageEnd pageEnded(hkldap::SearchRequest &request, const hkldap::FinalResult &result,
	    PageProgress &progress, unsigned &pages);
    void writeEntries(Connection &connection, const Message &message, PageProgress *progress);
    bool writeValue(std::string_view name, bool binary, const char *data, size_t length);
    bool isBinaryAt(size_t at, std::string_view name);
    bool writeFurtherRanges(Connection &connection, RawEntry *entry,
	    const std::string &attribute, uint64_t next, uint64_t step, bool binary);
    std::string followReference(Connection &connection, const Message &reference, int depth);
    void followUrls(const std::vector<std::string> &urls, int depth);
    void followUrl(const std::string &url, int depth);

    const SearchParameters &parameters_;
    const std::string filter_;
    AttributeList attributes_;
    EntryWriter writer_;	/* to the results file */
    const bool paging_;
    SearchReport &report_;
    const hkldap::Deadline deadline_;
    int32_t count_ = 0;
    int32_t items_ = 0;
    bool writeFailed_ = false;
    NameSet seen_;		/* the names of the entry being written */
    /* Whether each name of the last entry, by its place, is binary. */
    std::vector<std::pair<std::string, bool>> binaryByPlace_;
    std::string name_;		/* the attribute being written, its storage kept */
    std::set<std::string> referralsSearched_;	/* URLs, each searched once */
};

/*
 * A wait that ended without an answer: the time limit of the whole search
 * is over, or the server's time-out passed. Either is said and noted.
 */
Outcome
noAnswer(SearchReport &report, const SearchParameters &parameters,
	const hkldap::Deadline &deadline)
{
    if (isOver(deadline)) {
	report.incomplete("TIMELIMIT", report.timeLimitOver(parameters.timeLimit));
	return Outcome::TIME_LIMIT;
    }
    /* What came so far is kept; the server is not waited for again. */
    report.incomplete("TIMEOUT", report.waitTimedOut(parameters.timeoutSeconds));
    return Outcome::TIMED_OUT;
}

Outcome
SearchRun::waitEnded()
{
    return noAnswer(report_, parameters_, deadline_);
}

/*
 * A page has ended well, with a cookie or without: NEXT_PAGE when the next
 * page is to be asked for, the request then holding its cookie. A server
 * that makes no progress, hands out a cookie beyond the bound or pages
 * beyond the page bound would keep the search (and the results file)
 * growing for ever: the search stops there (STOPPED), as not complete.
 */
SearchRun::PageEnd
SearchRun::pageEnded(hkldap::SearchRequest &request, const hkldap::FinalResult &result,
	PageProgress &progress, unsigned &pages)
{
    if (!paging_) {
	return PageEnd::LAST_PAGE;
    }
    if (result.pageControlUnreadable) {
	report_.incomplete("PAGING", report_.pageControlUnreadable());
	return PageEnd::STOPPED;
    }
    if (!result.hasPageControl || result.cookie.empty()) {
	return PageEnd::LAST_PAGE;
    }
    if (result.cookie.size() > HK_SEARCH_MAX_COOKIE) {
	report_.incomplete("PAGING", report_.pageCookieTooLarge(result.cookie.size(),
		HK_SEARCH_MAX_COOKIE));
	return PageEnd::STOPPED;
    }
    if (!progress.pageEnded(request.cookie, result.cookie)) {
	report_.incomplete("PAGING", report_.pagingNoProgress());
	return PageEnd::STOPPED;
    }
    if (++pages >= parameters_.maxPages) {
	report_.incomplete("PAGING", report_.tooManyPages(parameters_.maxPages));
	return PageEnd::STOPPED;
    }
    request.cookie = result.cookie;
    return PageEnd::NEXT_PAGE;
}

/*
 * One request (one page when paging) at a time; its messages are taken one
 * by one until its final result, which either ends the search or, with a
 * cookie, leads to the request for the next page.
 */
Outcome
SearchRun::searchServer(Connection &connection, const std::string &base, int depth)
{
    hkldap::SearchRequest request;
    request.base = base.c_str();
    request.scope = scopeOf(parameters_.scope);
    request.filter = filter_.c_str();
    request.attributes = attributes_.get();
    request.pageSize = paging_ ? HK_SEARCH_PAGE_SIZE : 0;
    request.sizeLimit = parameters_.sizeLimit;
    request.sortAttribute = parameters_.sortAttribute;
    request.sortDescending = parameters_.sortDescending;
    PageProgress progress;
    unsigned pages = 0;
    int failedWaits = 0;
    for (;;) {
	if (isOver(deadline_)) {
	    return waitEnded();
	}
	request.timeLimit = secondsLeft(deadline_);
	int messageId = 0;
	int rc = connection.searchAsync(request, &messageId);
	if (rc != 0) {
	    std::string text = report_.cannotStartSearch(rc);
	    report_.incomplete(rc == hkldap::RC_SERVER_DOWN ? "CONNECTION" : "SEARCH", text);
	    return Outcome::FAILED;
	}

	bool requestDone = false;
	while (!requestDone) {
	    Message message;
	    int type = connection.waitOne(messageId, message);
	    switch (type) {
	    case hkldap::WAIT_TIMED_OUT:
		return waitEnded();
	    case hkldap::WAIT_FAILED: {
		std::string text = report_.waitFailed(connection.lastError());
		/*
		 * A later page is asked for again with its cookie, but not
		 * without end. Before the first page's result there is no
		 * cookie to go on from: the search has failed, like a plain one.
		 */
		if (!paging_ || request.cookie.empty() || ++failedWaits >= MAX_FAILED_WAITS) {
		    report_.incomplete("CONNECTION", text);
		    return Outcome::FAILED;
		}
		requestDone = true;
		break;
	    }
	    case hkldap::RES_SEARCH_REFERENCE:
		failedWaits = 0;
		progress.reference(followReference(connection, message, depth));
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
		    std::string text = report_.searchError(result.code, result.diagnostic);
		    const char *word = wordOfResult(result.code);
		    report_.incomplete(word, text);
		    /*
		     * A limit of the caller's own ends the search as it asked;
		     * the server's own limits stay failures when nothing came.
		     */
		    if ((result.code == hkldap::RC_SIZE_LIMIT_EXCEEDED && parameters_.sizeLimit > 0)
			    || (result.code == hkldap::RC_TIME_LIMIT_EXCEEDED
				&& parameters_.timeLimit > 0)) {
			return Outcome::LIMITED;
		    }
		    return Outcome::FAILED;
		}
		switch (pageEnded(request, result, progress, pages)) {
		case PageEnd::NEXT_PAGE:
		    requestDone = true;
		    break;
		case PageEnd::LAST_PAGE:
		    return Outcome::DONE;
		case PageEnd::STOPPED:
		default:
		    return Outcome::FAILED;
		}
		break;
	    }
	    case hkldap::RES_SEARCH_ENTRY:
	    default:
		/* Messages of other types hold no entries. */
		failedWaits = 0;
		writeEntries(connection, message, paging_ ? &progress : nullptr);
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
SearchRun::writeValue(std::string_view name, bool binary, const char *data, size_t length)
{
    return binary ? writer_.hexField(name, data, length) : writer_.field(name, data, length);
}

/*
 * isBinaryAttribute of the name that stands at this place of the entry,
 * remembered for the next entry, which usually has the same names.
 */
bool
SearchRun::isBinaryAt(size_t at, std::string_view name)
{
    const size_t PLACES = 64;
    if (at < binaryByPlace_.size() && binaryByPlace_[at].first == name) {
	return binaryByPlace_[at].second;
    }
    bool binary = isBinaryAttribute(name, parameters_.binaryAttributes);
    if (at < binaryByPlace_.size()) {
	binaryByPlace_[at] = {std::string(name), binary};
    } else if (at == binaryByPlace_.size() && at < PLACES) {
	binaryByPlace_.emplace_back(std::string(name), binary);
    }
    return binary;
}

/*
 * Writes every entry of a message, walking each entry once: with withDn
 * its DN first, under "dn", then each attribute's first value, or with
 * allValues every value, an attribute that the server hands out in ranges
 * fetched whole under its plain name. A paged search also gives each
 * entry's DN to the page's progress. A write that the file refuses (a
 * full disk) stops the writing: writeFailed() tells.
 */
void
SearchRun::writeEntries(Connection &connection, const Message &message, PageProgress *progress)
{
    static const char DN_NAME[] = "dn";
    for (RawEntry *entry = connection.firstEntry(message); entry != nullptr && !writeFailed_;
	    entry = connection.nextEntry(entry)) {
	hkldap::AttributeWalk walk(connection, entry);
	bool written = true;
	bool fields = false;
	if (progress != nullptr || parameters_.withDn) {
	    std::string_view dn;
	    if (!walk.dn(dn)) {
		dn = "";
	    }
	    if (progress != nullptr) {
		progress->entry(dn);
	    }
	    if (parameters_.withDn) {
		written = writer_.field(DN_NAME, dn.data(), dn.size());
		fields = true;
	    }
	}
	/*
	 * A server may send one attribute in several parts: the first part's
	 * first value is the attribute's first value, as a look-up by name
	 * finds it; with allValues the parts' values follow one another.
	 */
	seen_.clear();
	size_t place = 0;
	std::string_view name;
	for (; written && walk.next(name); place++) {
	    const char *data;
	    size_t length;
	    if (!parameters_.allValues) {
		if (seen_.insert(name) && walk.value(0, &data, &length)) {
		    written = writeValue(name, isBinaryAt(place, name), data, length);
		    fields = true;
		}
		continue;
	    }
	    name_.assign(name.data(), name.size());
	    AttributeRange range;
	    bool ranged = parseRangedName(name_, range);
	    const std::string &plain = ranged ? range.plainName : name_;
	    bool binary = isBinaryAttribute(plain, parameters_.binaryAttributes);
	    if (ranged && range.low != 0) {
		/*
		 * A first part that does not start at the first value: the
		 * values before it are asked for, and this part's come again
		 * in their place.
		 */
		written = writeFurtherRanges(connection, entry, range.plainName, 0,
			range.last ? 0 : range.high - range.low + 1, binary);
		fields = true;
		continue;
	    }
	    for (size_t i = 0; written && walk.value(i, &data, &length); i++) {
		written = writeValue(plain, binary, data, length);
		fields = true;
	    }
	    if (written && ranged && !range.last) {
		written = writeFurtherRanges(connection, entry, range.plainName, range.high + 1,
			range.high - range.low + 1, binary);
	    }
	}
	if (!written || !writer_.endEntry()) {
	    writeFailed_ = true;
	    return;
	}
	count_++;
	items_ += fields ? 1 : 0;
    }
}

/*
 * The values of an attribute from value next on: each range is asked for
 * with a search of the entry alone, on the same connection, until the
 * server marks one as the last. step is the width of each request (0:
 * "next-*", all that is left). What cannot be fetched is said, and the
 * search is not complete; the values read stay. False only when the file
 * refuses a write.
 */
bool
SearchRun::writeFurtherRanges(Connection &connection, RawEntry *entry,
	const std::string &attribute, uint64_t next, uint64_t step, bool binary)
{
    std::string dn;
    if (!connection.entryDn(entry, dn)) {
	report_.incomplete("RANGE", report_.rangeIncomplete("an entry", attribute,
		"its DN cannot be read"));
	return true;
    }
    auto incomplete = [&](const std::string &reason) {
	report_.incomplete("RANGE", report_.rangeIncomplete(dn, attribute, reason));
	return true;
    };
    /*
     * Each request asks for a range as wide as the server's first one, the
     * step the server chose: a server that ranges only when asked then
     * keeps answering in that step, and each answer stays as small as the
     * first (a client library may not cope with a very large message).
     */
    for (unsigned requests = 0; requests < HK_SEARCH_MAX_RANGE_REQUESTS; requests++) {
	std::string ask = attribute + ";range=" + std::to_string(next) + "-"
		+ (step == 0 ? std::string("*") : std::to_string(next + step - 1));
	AttributeList attributes({ask});
	Message result;
	int rc = connection.searchSync(dn.c_str(), hkldap::SCOPE_BASE, ALL_OBJECTS,
		attributes.get(), result);
	RawEntry *found = rc == 0 && result ? connection.firstEntry(result) : nullptr;
	if (found == nullptr) {
	    return incomplete(rc == hkldap::RC_TIMEOUT ? std::string("timed out")
		    : hkldap::libraryText(rc == 0 ? hkldap::RC_LOCAL_ERROR : rc));
	}
	hkldap::AttributeWalk walk(connection, found);
	AttributeRange range;
	std::string_view name;
	bool ranged = false;
	bool there = false;
	while (walk.next(name)) {
	    std::string text(name);
	    ranged = parseRangedName(text, range);
	    if (compareNamesCaseBlind(ranged ? range.plainName : text, attribute) == 0) {
		there = true;
		break;
	    }
	}
	if (!there) {
	    return incomplete("the server sent no further range");
	}
	/*
	 * A range must start where the last one ended (nothing is written from
	 * one that does not); a name without a range holds all that is left.
	 */
	if (ranged && range.low != next) {
	    return incomplete("the server's ranges do not follow on");
	}
	const char *data;
	size_t length;
	for (size_t i = 0; walk.value(i, &data, &length); i++) {
	    if (!writeValue(attribute, binary, data, length)) {
		return false;
	    }
	}
	if (!ranged || range.last) {
	    return true;
	}
	if (step == 0) {
	    step = range.high - range.low + 1;
	}
	next = range.high + 1;
    }
    return incomplete("too many ranges");
}

/* Follows every URL of one search reference; returns its first URL. */
std::string
SearchRun::followReference(Connection &connection, const Message &reference, int depth)
{
    std::vector<std::string> urls;
    int rc = connection.parseReference(reference, urls);
    if (rc != 0) {
	/* Its entries are missing from the results: say so. */
	report_.incomplete("REFERRAL", report_.unreadableReference(rc));
	return std::string();
    }
    followUrls(urls, depth);
    return urls.empty() ? std::string() : urls.front();
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
	report_.referral(url);
	followUrl(url, depth);
    }
}

void
SearchRun::followUrl(const std::string &url, int depth)
{
    auto notFollowed = [&](const std::string &text) {
	report_.incomplete("REFERRAL", text, url);
	report_.referralFate(url, "failed", text);
    };
    if (!parameters_.followReferrals) {
	report_.referralFate(url, "listed", report_.referralListed(url));
	return;
    }
    if (depth + 1 > HK_SEARCH_MAX_REFERRAL_DEPTH) {
	notFollowed(report_.referralTooDeep(url, HK_SEARCH_MAX_REFERRAL_DEPTH));
	return;
    }
    if (referralsSearched_.count(url) != 0) {
	report_.referralFate(url, "repeated", report_.referralRepeated(url));
	return;
    }
    if (referralsSearched_.size() >= parameters_.maxReferralSearches) {
	notFollowed(report_.tooManyReferrals(url,
		static_cast<int>(parameters_.maxReferralSearches)));
	return;
    }
    referralsSearched_.insert(url);
    Connection referral;
    std::string baseDn;
    ReferralUrl parsed;
    if (!parseReferralUrl(url, parsed)) {
	notFollowed("Referral not followed: not an LDAP URL with a DN (" + url + ")");
	return;
    }
    bool secure = parameters_.security != Security::NONE;
    /*
     * An ldaps URL is opened with TLS; a plain one gets StartTLS when the
     * search itself is secure, so that the credentials never go in clear.
     */
    ConnectAttempt attempt = connectAndBind(referral, parsed.host, parsed.port, parsed.tls,
	    secure && !parsed.tls, parameters_, deadline_);
    if (attempt.outcome != Connected::YES) {
	notFollowed(reportConnectFailure(report_, attempt, url, true, parameters_,
		deadline_).text);
	return;
    }
    setConnectionOptions(referral, report_);
    /* A referral server's failure leaves the others' entries as they are. */
    int32_t before = count_;
    size_t causes = report_.causes().size();
    Outcome outcome = searchServer(referral, parsed.baseDn, depth + 1);
    int32_t found = count_ - before;
    std::string entries = std::to_string(found) + (found == 1 ? " entry" : " entries");
    if (outcome == Outcome::DONE || report_.causes().size() == causes) {
	report_.referralFate(url, "followed", entries);
    } else {
	report_.referralFate(url, "incomplete", entries + ": " + report_.causes()[causes].text);
    }
}

/* One server to try. */
struct Candidate {
    std::string host;
    unsigned port;
};

/*
 * The servers to try, in order: those that server names, each on the
 * port; or, when it names none, the domain controllers that the domain's
 * SRV records name, each on its port (dcServerPort); or, with neither,
 * the empty name as it always was. 0, or HK_SEARCH_NO_CONNECTION when the
 * domain's look-up found none (the report says why).
 */
int
serversToTry(const SearchParameters &parameters, const hkldap::Deadline &deadline,
	SearchReport &report, std::vector<Candidate> &candidates)
{
    for (const std::string &name : splitServers(parameters.server)) {
	candidates.push_back(Candidate{name, parameters.port});
    }
    if (!candidates.empty() || parameters.domain.empty()) {
	if (candidates.empty()) {
	    candidates.push_back(Candidate{parameters.server, parameters.port});
	}
	return 0;
    }
    const std::string &domain = parameters.domain;
    std::string record = HkpDcRecordName(domain);
    unsigned seconds = parameters.timeoutSeconds;
    unsigned left = secondsLeft(deadline);
    if (left > 0 && (seconds == 0 || left < seconds)) {
	seconds = left;
    }
    std::vector<DcServer> servers;
    std::string reason;
    HkpDcStatus status = isOver(deadline) ? HKP_DC_TIMED_OUT
	    : HkpFindDomainControllers(domain, seconds, servers, reason);
    std::string text;
    const char *word = "CONNECT";
    switch (status) {
    case HKP_DC_FOUND: {
	std::vector<std::string> listed;
	for (const DcServer &s : servers) {
	    unsigned port = dcServerPort(s.port, parameters.portOption,
		    parameters.security == Security::LDAPS);
	    candidates.push_back(Candidate{s.host, port});
	    listed.push_back(s.host + ":" + std::to_string(port));
	}
	report.domainControllers(domain, listed);
	return 0;
    }
    case HKP_DC_NO_NAME:
	text = report.noDomainController(domain, record, "the name does not exist");
	break;
    case HKP_DC_NO_RECORD:
	text = report.noDomainController(domain, record, "none that names a server");
	break;
    case HKP_DC_TIMED_OUT:
	if (isOver(deadline)) {
	    word = "TIMELIMIT";
	    text = report.timeLimitOver(parameters.timeLimit);
	} else {
	    text = report.domainLookupTimedOut(domain, record, seconds);
	}
	break;
    case HKP_DC_FAILED:
    default:
	text = report.domainLookupFailed(domain, record, reason);
	break;
    }
    report.incomplete(word, text);
    return HK_SEARCH_NO_CONNECTION;
}

} // namespace

int
runDirectorySearch(const SearchParameters &parameters, SearchReport &report)
{
    for (const std::string &name : parameters.unknownOptions) {
	report.unknownOption(name);
    }
    if (!parameters.badOption.empty()) {
	if (parameters.badWithNegotiate) {
	    report.credentialsWithNegotiate(parameters.badOption);
	} else {
	    report.badOption(parameters.badOption, parameters.badValue);
	}
	return HK_SEARCH_BAD_OPTION;
    }
    if (parameters.username.empty() && !parameters.password.empty()) {
	report.noUsername();
	return HK_SEARCH_NO_USER;
    }
    std::string filter = buildSearchFilter(parameters.searchFilter, !parameters.includePrivate);
    hkldap::Deadline deadline;
    if (parameters.timeLimit > 0) {
	deadline.set = true;
	deadline.at = std::chrono::steady_clock::now() + std::chrono::seconds(parameters.timeLimit);
    }

    std::vector<Candidate> candidates;
    int found = serversToTry(parameters, deadline, report, candidates);
    if (found != 0) {
	return found;
    }
    /*
     * Each server in turn until one connects: one that cannot be reached,
     * secured or answered in time gives way to the next; a refused bind
     * ends the search (the same credentials would be refused by the next).
     */
    Connection connection;
    std::vector<ConnectFailure> failures;
    for (size_t i = 0; i < candidates.size(); i++) {
	const Candidate &server = candidates[i];
	std::string where = server.host + ":" + std::to_string(server.port);
	report.setServer(where);
	ConnectAttempt attempt = connectAndBind(connection, server.host, server.port,
		parameters.security == Security::LDAPS, parameters.security == Security::STARTTLS,
		parameters, deadline);
	if (attempt.outcome == Connected::YES) {
	    break;
	}
	failures.push_back(reportConnectFailure(report, attempt, where, false, parameters,
		deadline));
	if (i + 1 == candidates.size() || attempt.outcome == Connected::BIND_REFUSED
		|| isOver(deadline)) {
	    /* The failed search's causes: each server's, in turn. */
	    for (const ConnectFailure &f : failures) {
		report.incomplete(f.word, f.text);
	    }
	    return failures.back().code;
	}
    }
    setConnectionOptions(connection, report);

    /* Owned here so that memory running out mid-search still closes it. */
    std::unique_ptr<FILE, int (*)(FILE *)> results(
	    HkpCreateResultsFile(parameters.resultsPath.c_str()), fclose);
    if (!results) {
	report.incomplete("RESULTSFILE", report.cannotCreateResults(parameters.resultsPath));
	return HK_SEARCH_NO_RESULTS_FILE;
    }

    Paging paging = probePaging(connection);
    if (paging == Paging::TIMED_OUT) {
	Outcome ended = noAnswer(report, parameters, deadline);
	report.total(0);
	return ended == Outcome::TIME_LIMIT ? 0 : HK_SEARCH_NO_CONNECTION;
    }
    report.paging(paging == Paging::OFFERED, HK_SEARCH_PAGE_SIZE);

    SearchRun run(parameters, filter, results.get(), paging == Paging::OFFERED, report,
	    deadline);
    Outcome outcome = run.searchServer(connection, parameters.searchBase, 0);

    /* Written only when every write and the close went through (a full disk). */
    bool closed = fclose(results.release()) == 0;
    connection.close();
    report.setCounts(run.count(), run.items());
    if (run.writeFailed() || !closed) {
	report.incomplete("WRITE", report.cannotWriteResults(parameters.resultsPath));
	return HK_SEARCH_NO_RESULTS_FILE;
    }
    report.total(run.count());
    if (run.count() == 0 && outcome == Outcome::TIMED_OUT) {
	return HK_SEARCH_NO_CONNECTION;
    }
    if (run.count() == 0 && outcome == Outcome::FAILED) {
	return HK_SEARCH_FAILED;
    }
    return run.count();
}

} // namespace hkdir
