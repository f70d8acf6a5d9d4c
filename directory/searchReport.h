/*
 * searchReport.h --
 *
 *	The report of one directory search: the lines it prints about its
 *	progress and its problems, and how it ended, for ldapsearchinfo.
 *
 *	Every line is written here and nowhere else: on the process's standard
 *	output or standard error (none with quiet), and kept, in order, among
 *	the report's messages. Scripts and people read the lines, so their text
 *	is fixed. None of it reaches a command's result. A line's method
 *	returns the line as a message holds it (without the blank lines around
 *	it), so that a cause of an incomplete search can carry the same text.
 *
 *	One report belongs to one search and is filled by the thread that runs
 *	it; once the search is over it is only read.
 */

#ifndef HOSTKIT_SEARCH_REPORT_H
#define HOSTKIT_SEARCH_REPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hkdir {

enum class ReportStream {
    STANDARD_OUTPUT,
    STANDARD_ERROR
};

/* Receives each line as the exact text written, line ends included. */
typedef void (*ReportSink)(ReportStream stream, const std::string &text);

/* Why a search is not complete: a word, and for REFERRAL the URL. */
struct IncompleteCause {
    std::string word;	/* PAGING, SIZELIMIT, TIMELIMIT, TIMEOUT, REFERRAL, WRITE,
			 * RANGE, SEARCH, CONNECTION; for a failed search
			 * CONNECT, BIND, TLS, RESULTSFILE */
    std::string url;	/* REFERRAL only; empty when the reference could not be read */
    std::string text;	/* the message that tells it */
};

/* What became of one referral URL. */
struct ReferralFate {
    std::string url;
    std::string fate;	/* followed, incomplete (followed, but its search was cut
			 * short), listed, repeated, failed */
    std::string text;	/* entries found, or why not */
};

/*
 * A failure's cause as the lines show it: the code in hexadecimal with
 * "0x", the client library's text for it and, when there is one, the
 * server's diagnostic message: "0x31 (Invalid credentials)",
 * "0x8 (Strong(er) authentication required: BindSimple: ...)".
 */
std::string describeCause(unsigned long code, const std::string &serverText = std::string());

class SearchReport {
public:
    /*
     * Lines go to sink (nullptr: the process's standard streams); with
     * quiet they are only kept.
     */
    explicit SearchReport(bool quiet = false, ReportSink sink = nullptr);

    /* Standard output: progress. */
    std::string paging(bool supported, unsigned pageSize);
    std::string referral(const std::string &url);

    /* Standard error: problems, and the count at the end. */
    std::string noUsername();
    std::string badOption(const std::string &name, const std::string &value);
    std::string credentialsWithNegotiate(const std::string &name);
    /* record: the SRV record's name looked up; reason: why it is not there. */
    std::string noDomainController(const std::string &domain, const std::string &record,
	    const std::string &reason);
    std::string domainLookupTimedOut(const std::string &domain, const std::string &record,
	    unsigned seconds);
    std::string domainLookupFailed(const std::string &domain, const std::string &record,
	    const std::string &reason);
    /* where: "host:port" or a referral URL. */
    std::string cannotConnect(const std::string &where, unsigned long code,
	    const std::string &serverText = std::string());
    /* step: "connect", "StartTLS" or "bind". */
    std::string connectTimedOut(const std::string &where, const char *step, unsigned seconds,
	    unsigned long code);
    std::string cannotSecure(const std::string &where, unsigned long code,
	    const std::string &serverText);
    std::string referralWithoutTls(const std::string &url, unsigned long code,
	    const std::string &serverText);
    std::string bindFailed(unsigned long code, const std::string &serverText = std::string());
    std::string cannotSetVersion(int code);
    std::string cannotSetReferrals(int code);
    std::string cannotSetHopLimit(int code);
    std::string cannotCreateResults(const std::string &path);
    std::string cannotWriteResults(const std::string &path);
    std::string cannotStartSearch(int code);
    std::string waitFailed(unsigned long code);
    std::string waitTimedOut(unsigned seconds);
    std::string searchError(int code, const std::string &serverText = std::string());
    std::string unreadableReference(int code);
    std::string referralTooDeep(const std::string &url, int maxDepth);
    std::string referralRepeated(const std::string &url);
    std::string tooManyReferrals(const std::string &url, int maxSearches);
    std::string pagingNoProgress();
    std::string pageCookieTooLarge(size_t bytes, size_t maxBytes);
    std::string pageControlUnreadable();
    std::string tooManyPages(unsigned maxPages);
    std::string timeLimitOver(unsigned seconds);
    std::string rangeIncomplete(const std::string &dn, const std::string &attribute,
	    const std::string &reason);
    std::string total(int32_t count);

    /* Kept among the messages only: what a script may want to know. */
    std::string unknownOption(const std::string &name);
    std::string referralListed(const std::string &url);
    /* servers: "host:port" each, in the order they are tried. */
    std::string domainControllers(const std::string &domain,
	    const std::vector<std::string> &servers);

    /* How the search ended, for ldapsearchinfo. */
    void incomplete(const char *word, const std::string &text,
	    const std::string &url = std::string());
    void referralFate(const std::string &url, const char *fate, const std::string &text);
    void setServer(const std::string &where) { server_ = where; }
    void setCounts(int32_t entries, int32_t items) { entries_ = entries; items_ = items; }

    const std::vector<std::string> &messages() const { return messages_; }
    const std::vector<IncompleteCause> &causes() const { return causes_; }
    const std::vector<ReferralFate> &referrals() const { return referrals_; }
    const std::string &server() const { return server_; }
    int32_t entries() const { return entries_; }
    int32_t items() const { return items_; }
    bool complete() const { return causes_.empty(); }

private:
    enum class To { OUT, ERR, KEEP };
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    std::string line(To to, const char *format, ...);

    bool quiet_;
    ReportSink sink_;
    std::vector<std::string> messages_;
    unsigned long droppedMessages_ = 0;
    std::vector<IncompleteCause> causes_;
    std::vector<ReferralFate> referrals_;
    std::string server_;
    int32_t entries_ = 0;
    int32_t items_ = 0;
};

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_REPORT_H */
