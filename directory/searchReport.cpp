/*
 * searchReport.cpp --
 *
 *	Every line that a directory search prints, and the sink they go
 *	through. The text of each line is what scripts have always seen,
 *	including "Failed to authenticate: 31lx", where a format meant as %lx
 *	prints the code in hexadecimal followed by the letters "lx".
 *
 *	By default standard output is flushed after each line, so that progress
 *	stands before whatever the process prints after it.
 */

#include "directory/searchReport.h"

#include <cstdarg>
#include <cstdio>

namespace hkdir {

namespace {

void
writeToStreams(ReportStream stream, const std::string &text)
{
    FILE *to = stream == ReportStream::STANDARD_OUTPUT ? stdout : stderr;
    fwrite(text.data(), 1, text.size(), to);
    if (to == stdout) {
	fflush(stdout);
    }
}

ReportSink sink = writeToStreams;

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void
report(ReportStream stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
	vsnprintf(&text[0], text.size() + 1, format, again);
    }
    va_end(again);
    sink(stream, text);
}

const ReportStream OUT = ReportStream::STANDARD_OUTPUT;
const ReportStream ERR = ReportStream::STANDARD_ERROR;

} // namespace

ReportSink
redirectSearchReports(ReportSink to)
{
    ReportSink before = sink == writeToStreams ? nullptr : sink;
    sink = to != nullptr ? to : writeToStreams;
    return before;
}

void
reportPaging(bool supported, unsigned pageSize)
{
    if (supported) {
	report(OUT, "\nDirectory supports paging. Current page size %lu\n",
		static_cast<unsigned long>(pageSize));
    } else {
	report(OUT, "\nDirectory does not support paging\n");
    }
}

void
reportReferral(const std::string &url)
{
    report(OUT, "Referral: %s\n", url.c_str());
}

void
reportNoUsername()
{
    report(ERR, "\nPlease specify a user account to access search base\n\n");
}

void
reportCannotConnect(const std::string &server, unsigned port, unsigned long code)
{
    report(ERR, "\nCannot open LDAP connection to: %s:%d (0x%lx)\n\n", server.c_str(),
	    static_cast<int>(port), code);
}

void
reportBindFailed(unsigned code)
{
    report(ERR, "Failed to authenticate: %0xlx\n", code);
}

void
reportCannotSetVersion(int code)
{
    report(ERR, "\nCannot set ldap version (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportCannotSetReferrals(int code)
{
    report(ERR, "\nCannot set referral option (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportCannotSetHopLimit(int code)
{
    report(ERR, "\nCannot set referral hop limit (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportCannotCreateResults(const std::string &path)
{
    report(ERR, "\nCannot open file %s for writing.\n\n", path.c_str());
}

void
reportCannotWriteResults(const std::string &path)
{
    report(ERR, "\nCannot write file %s: the results are not complete.\n\n", path.c_str());
}

void
reportCannotStartSearch(int code)
{
    report(ERR, "\nCannot start search (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportWaitFailed(unsigned long code)
{
    report(ERR, "ldap_result returned error (0x%lx)\n\n", code);
}

void
reportWaitTimedOut(unsigned long code)
{
    report(ERR, "ldap_result timed out (0x%lx)\n\n", code);
}

void
reportSearchError(int code)
{
    report(ERR, "\nSearch ended with error (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportUnreadableReference(int code)
{
    report(ERR, "\nCannot read search reference (0x%lx)\n\n", static_cast<unsigned long>(code));
}

void
reportReferralTooDeep(const std::string &url, int maxDepth)
{
    report(ERR, "\nReferral not followed: more than %d nested referrals (%s)\n\n", maxDepth,
	    url.c_str());
}

void
reportTotal(int32_t count)
{
    report(ERR, "Total entries = %d\n", static_cast<int>(count));
}

} // namespace hkdir
