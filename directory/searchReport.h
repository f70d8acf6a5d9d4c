/*
 * searchReport.h --
 *
 *	The lines that a directory search prints about its progress and its
 *	problems, on the process's standard output and standard error. Scripts
 *	and people read them, so their text is fixed: every line is written
 *	here, through one sink, and nowhere else. None of it reaches a
 *	command's result.
 */

#ifndef HOSTKIT_SEARCH_REPORT_H
#define HOSTKIT_SEARCH_REPORT_H

#include <cstdint>
#include <string>

namespace hkdir {

enum class ReportStream {
    STANDARD_OUTPUT,
    STANDARD_ERROR
};

/* Receives each report as the exact text written, line ends included. */
typedef void (*ReportSink)(ReportStream stream, const std::string &text);

/*
 * Test hook: sends the reports to sink instead of the process's streams
 * (nullptr: back to the streams). Returns the sink in use before.
 */
ReportSink redirectSearchReports(ReportSink sink);

/*
 * A failure's cause as the lines show it: the code in hexadecimal with
 * "0x", the client library's text for it and, when there is one, the
 * server's diagnostic message: "0x31 (Invalid credentials)",
 * "0x8 (Strong(er) authentication required: BindSimple: ...)".
 */
std::string describeCause(unsigned long code, const std::string &serverText = std::string());

/* Standard output: progress. */
void reportPaging(bool supported, unsigned pageSize);
void reportReferral(const std::string &url);

/* Standard error: problems, and the count at the end. */
void reportNoUsername();
void reportBadOption(const std::string &name, const std::string &value);
/* where: "host:port" or a referral URL. */
void reportCannotConnect(const std::string &where, unsigned long code,
	const std::string &serverText = std::string());
/* step: "connect", "StartTLS" or "bind". */
void reportConnectTimedOut(const std::string &where, const char *step, unsigned seconds,
	unsigned long code);
void reportCannotSecure(const std::string &where, unsigned long code,
	const std::string &serverText);
void reportReferralWithoutTls(const std::string &url, unsigned long code,
	const std::string &serverText);
void reportBindFailed(unsigned long code, const std::string &serverText = std::string());
void reportCannotSetVersion(int code);
void reportCannotSetReferrals(int code);
void reportCannotSetHopLimit(int code);
void reportCannotCreateResults(const std::string &path);
void reportCannotWriteResults(const std::string &path);
void reportCannotStartSearch(int code);
void reportWaitFailed(unsigned long code);
void reportWaitTimedOut(unsigned seconds);
void reportSearchError(int code, const std::string &serverText = std::string());
void reportUnreadableReference(int code);
void reportReferralTooDeep(const std::string &url, int maxDepth);
void reportReferralRepeated(const std::string &url);
void reportTooManyReferrals(const std::string &url, int maxSearches);
void reportCookieRepeated();
void reportRangeIncomplete(const std::string &dn, const std::string &attribute,
	const std::string &reason);
void reportTooManyPages(unsigned maxPages);
void reportTotal(int32_t count);

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_REPORT_H */
