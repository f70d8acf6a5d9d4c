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

/* Standard output: progress. */
void reportPaging(bool supported, unsigned pageSize);
void reportReferral(const std::string &url);

/* Standard error: problems, and the count at the end. */
void reportNoUsername();
void reportCannotConnect(const std::string &server, unsigned port, unsigned long code);
void reportBindFailed(unsigned code);
void reportCannotSetVersion(int code);
void reportCannotSetReferrals(int code);
void reportCannotSetHopLimit(int code);
void reportCannotCreateResults(const std::string &path);
void reportCannotWriteResults(const std::string &path);
void reportCannotStartSearch(int code);
void reportWaitFailed(unsigned long code);
void reportWaitTimedOut(unsigned long code);
void reportSearchError(int code);
void reportUnreadableReference(int code);
void reportReferralTooDeep(const std::string &url, int maxDepth);
void reportTotal(int32_t count);

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_REPORT_H */
