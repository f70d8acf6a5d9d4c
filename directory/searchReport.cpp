/*
 * searchReport.cpp --
 *
 *	Every line that a directory search prints, and the sink they go
 *	through. A line about a failure names its cause: the code in
 *	hexadecimal with "0x", the client library's text for it and the
 *	server's own message when it sent one. (The bind line once printed
 *	"31lx", a format meant as %lx; it now follows the same rule.)
 *
 *	By default standard output is flushed after each line, so that progress
 *	stands before whatever the process prints after it.
 */

#include "directory/searchReport.h"

#include "directory/base/searchText.h"
#include "directory/ldapPlatform.h"

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

std::string
describeCause(unsigned long code, const std::string &serverText)
{
    char number[32];
    snprintf(number, sizeof number, "0x%lx", code);
    std::string text = hkldap::libraryText(code);
    if (!serverText.empty() && !equalsCaseBlind(serverText.c_str(), text.c_str())) {
	text += text.empty() ? serverText : ": " + serverText;
    }
    return text.empty() ? std::string(number) : std::string(number) + " (" + text + ")";
}

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
reportBadOption(const std::string &name, const std::string &value)
{
    report(ERR, "\nInvalid value of option %s: %s\n\n", name.c_str(), value.c_str());
}

void
reportCannotConnect(const std::string &where, unsigned long code, const std::string &serverText)
{
    report(ERR, "\nCannot open LDAP connection to: %s (%s)\n\n", where.c_str(),
	    describeCause(code, serverText).c_str());
}

void
reportConnectTimedOut(const std::string &where, const char *step, unsigned seconds,
	unsigned long code)
{
    report(ERR, "\nCannot open LDAP connection to: %s (%s): %s timed out after %u s\n\n",
	    where.c_str(), describeCause(code).c_str(), step, seconds);
}

void
reportCannotSecure(const std::string &where, unsigned long code, const std::string &serverText)
{
    report(ERR, "\nCannot secure LDAP connection to: %s (%s)\n\n", where.c_str(),
	    describeCause(code, serverText).c_str());
}

void
reportReferralWithoutTls(const std::string &url, unsigned long code,
	const std::string &serverText)
{
    report(ERR, "\nReferral skipped, no TLS there: %s (%s)\n\n", url.c_str(),
	    describeCause(code, serverText).c_str());
}

void
reportBindFailed(unsigned long code, const std::string &serverText)
{
    report(ERR, "Failed to authenticate: %s\n", describeCause(code, serverText).c_str());
}

void
reportCannotSetVersion(int code)
{
    report(ERR, "\nCannot set ldap version (%s)\n\n", describeCause(static_cast<unsigned long>(code)).c_str());
}

void
reportCannotSetReferrals(int code)
{
    report(ERR, "\nCannot set referral option (%s)\n\n", describeCause(static_cast<unsigned long>(code)).c_str());
}

void
reportCannotSetHopLimit(int code)
{
    report(ERR, "\nCannot set referral hop limit (%s)\n\n", describeCause(static_cast<unsigned long>(code)).c_str());
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
    report(ERR, "\nCannot start search (%s)\n\n", describeCause(static_cast<unsigned long>(code)).c_str());
}

void
reportWaitFailed(unsigned long code)
{
    report(ERR, "ldap_result returned error (%s)\n\n", describeCause(code).c_str());
}

void
reportWaitTimedOut(unsigned seconds)
{
    report(ERR, "ldap_result timed out (%s): no answer within %u s\n\n",
	    describeCause(hkldap::RC_TIMEOUT).c_str(), seconds);
}

void
reportSearchError(int code, const std::string &serverText)
{
    report(ERR, "\nSearch ended with error (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code), serverText).c_str());
}

void
reportUnreadableReference(int code)
{
    report(ERR, "\nCannot read search reference (%s)\n\n", describeCause(static_cast<unsigned long>(code)).c_str());
}

void
reportRangeIncomplete(const std::string &dn, const std::string &attribute,
	const std::string &reason)
{
    report(ERR, "\nNot every value of %s read for %s (%s)\n\n", attribute.c_str(), dn.c_str(),
	    reason.c_str());
}

void
reportReferralTooDeep(const std::string &url, int maxDepth)
{
    report(ERR, "\nReferral not followed: more than %d nested referrals (%s)\n\n", maxDepth,
	    url.c_str());
}

void
reportReferralRepeated(const std::string &url)
{
    report(ERR, "\nReferral not followed: already searched (%s)\n\n", url.c_str());
}

void
reportTooManyReferrals(const std::string &url, int maxSearches)
{
    report(ERR, "\nReferral not followed: more than %d referral searches (%s)\n\n", maxSearches,
	    url.c_str());
}

void
reportCookieRepeated()
{
    report(ERR, "\nPaged search stopped: the server repeated a page cookie\n\n");
}

void
reportTooManyPages(unsigned maxPages)
{
    report(ERR, "\nPaged search stopped after %u pages\n\n", maxPages);
}

void
reportTotal(int32_t count)
{
    report(ERR, "Total entries = %d\n", static_cast<int>(count));
}

} // namespace hkdir
