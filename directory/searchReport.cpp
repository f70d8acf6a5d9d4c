/*
 * searchReport.cpp --
 *
 *	Every line that a directory search prints, and how the search ended.
 *	A line about a failure names its cause: the code in hexadecimal with
 *	"0x", the client library's text for it and the server's own message
 *	when it sent one. (The bind line once printed "31lx", a format meant
 *	as %lx; it now follows the same rule.)
 *
 *	By default standard output is flushed after each line, so that progress
 *	stands before whatever the process prints after it.
 *
 *	What a report keeps is bounded, so that a server that makes a search
 *	print without end (a failure per page, a reference of a million URLs)
 *	cannot make it grow without end: past the bound, lines still go to the
 *	streams, and the report counts what it did not keep.
 */

#include "directory/searchReport.h"

#include "directory/base/searchText.h"
#include "directory/ldapPlatform.h"

#include <cstdarg>
#include <cstdio>

namespace hkdir {

namespace {

/* What one report keeps at most. */
const size_t MAX_MESSAGES = 10000;
const size_t MAX_CAUSES = 256;
const size_t MAX_REFERRALS = 1024;

void
writeToStreams(ReportStream stream, const std::string &text)
{
    FILE *to = stream == ReportStream::STANDARD_OUTPUT ? stdout : stderr;
    fwrite(text.data(), 1, text.size(), to);
    if (to == stdout) {
	fflush(stdout);
    }
}

/* The line without the blank lines around it. */
std::string
trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of('\n');
    if (first == std::string::npos) {
	return std::string();
    }
    size_t last = text.find_last_not_of('\n');
    return text.substr(first, last - first + 1);
}

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

SearchReport::SearchReport(bool quiet, ReportSink sink)
    : quiet_(quiet), sink_(sink != nullptr ? sink : writeToStreams)
{
}

std::string
SearchReport::line(To to, const char *format, ...)
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
    if (to != To::KEEP && !quiet_) {
	sink_(to == To::OUT ? ReportStream::STANDARD_OUTPUT : ReportStream::STANDARD_ERROR, text);
    }
    std::string message = trimmed(text);
    if (messages_.size() + 1 < MAX_MESSAGES) {
	messages_.push_back(message);
    } else {
	/* The last place says how many more there were. */
	droppedMessages_++;
	std::string more = "further lines not kept: " + std::to_string(droppedMessages_);
	if (messages_.size() + 1 == MAX_MESSAGES) {
	    messages_.push_back(more);
	} else {
	    messages_.back() = more;
	}
    }
    return message;
}

void
SearchReport::incomplete(const char *word, const std::string &text, const std::string &url)
{
    if (causes_.size() < MAX_CAUSES) {
	causes_.push_back(IncompleteCause{word, url, text});
    }
}

void
SearchReport::referralFate(const std::string &url, const char *fate, const std::string &text)
{
    if (referrals_.size() < MAX_REFERRALS) {
	referrals_.push_back(ReferralFate{url, fate, text});
    }
}

std::string
SearchReport::paging(bool supported, unsigned pageSize)
{
    if (supported) {
	return line(To::OUT, "\nDirectory supports paging. Current page size %lu\n",
		static_cast<unsigned long>(pageSize));
    }
    return line(To::OUT, "\nDirectory does not support paging\n");
}

std::string
SearchReport::referral(const std::string &url)
{
    return line(To::OUT, "Referral: %s\n", url.c_str());
}

std::string
SearchReport::noUsername()
{
    return line(To::ERR, "\nPlease specify a user account to access search base\n\n");
}

std::string
SearchReport::badOption(const std::string &name, const std::string &value)
{
    return line(To::ERR, "\nInvalid value of option %s: %s\n\n", name.c_str(), value.c_str());
}

std::string
SearchReport::credentialsWithNegotiate(const std::string &name)
{
    return line(To::ERR, "\nOption %s cannot be used with authentication negotiate: it binds "
	    "with the Kerberos credentials of the account that runs the process\n\n",
	    name.c_str());
}

std::string
SearchReport::noDomainController(const std::string &domain, const std::string &record,
	const std::string &reason)
{
    return line(To::ERR, "\nCannot find a domain controller of %s: no SRV record %s (%s)\n\n",
	    domain.c_str(), record.c_str(), reason.c_str());
}

std::string
SearchReport::domainLookupTimedOut(const std::string &domain, const std::string &record,
	unsigned seconds)
{
    return line(To::ERR, "\nCannot find a domain controller of %s: no answer for %s within "
	    "%u s\n\n", domain.c_str(), record.c_str(), seconds);
}

std::string
SearchReport::domainLookupFailed(const std::string &domain, const std::string &record,
	const std::string &reason)
{
    return line(To::ERR, "\nCannot find a domain controller of %s: %s cannot be looked up "
	    "(%s)\n\n", domain.c_str(), record.c_str(), reason.c_str());
}

std::string
SearchReport::cannotConnect(const std::string &where, unsigned long code,
	const std::string &serverText)
{
    return line(To::ERR, "\nCannot open LDAP connection to: %s (%s)\n\n", where.c_str(),
	    describeCause(code, serverText).c_str());
}

std::string
SearchReport::connectTimedOut(const std::string &where, const char *step, unsigned seconds,
	unsigned long code)
{
    return line(To::ERR, "\nCannot open LDAP connection to: %s (%s): %s timed out after %u s\n\n",
	    where.c_str(), describeCause(code).c_str(), step, seconds);
}

std::string
SearchReport::cannotSecure(const std::string &where, unsigned long code,
	const std::string &serverText)
{
    return line(To::ERR, "\nCannot secure LDAP connection to: %s (%s)\n\n", where.c_str(),
	    describeCause(code, serverText).c_str());
}

std::string
SearchReport::referralWithoutTls(const std::string &url, unsigned long code,
	const std::string &serverText)
{
    return line(To::ERR, "\nReferral skipped, no TLS there: %s (%s)\n\n", url.c_str(),
	    describeCause(code, serverText).c_str());
}

std::string
SearchReport::bindFailed(unsigned long code, const std::string &serverText)
{
    return line(To::ERR, "Failed to authenticate: %s\n", describeCause(code, serverText).c_str());
}

std::string
SearchReport::cannotSetVersion(int code)
{
    return line(To::ERR, "\nCannot set ldap version (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code)).c_str());
}

std::string
SearchReport::cannotSetReferrals(int code)
{
    return line(To::ERR, "\nCannot set referral option (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code)).c_str());
}

std::string
SearchReport::cannotSetHopLimit(int code)
{
    return line(To::ERR, "\nCannot set referral hop limit (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code)).c_str());
}

std::string
SearchReport::cannotCreateResults(const std::string &path)
{
    return line(To::ERR, "\nCannot open file %s for writing.\n\n", path.c_str());
}

std::string
SearchReport::cannotWriteResults(const std::string &path)
{
    return line(To::ERR, "\nCannot write file %s: the results are not complete.\n\n",
	    path.c_str());
}

std::string
SearchReport::cannotStartSearch(int code)
{
    return line(To::ERR, "\nCannot start search (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code)).c_str());
}

std::string
SearchReport::waitFailed(unsigned long code)
{
    return line(To::ERR, "ldap_result returned error (%s)\n\n", describeCause(code).c_str());
}

std::string
SearchReport::waitTimedOut(unsigned seconds)
{
    return line(To::ERR, "ldap_result timed out (%s): no answer within %u s\n\n",
	    describeCause(hkldap::RC_TIMEOUT).c_str(), seconds);
}

std::string
SearchReport::searchError(int code, const std::string &serverText)
{
    return line(To::ERR, "\nSearch ended with error (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code), serverText).c_str());
}

std::string
SearchReport::unreadableReference(int code)
{
    return line(To::ERR, "\nCannot read search reference (%s)\n\n",
	    describeCause(static_cast<unsigned long>(code)).c_str());
}

std::string
SearchReport::rangeIncomplete(const std::string &dn, const std::string &attribute,
	const std::string &reason)
{
    return line(To::ERR, "\nNot every value of %s read for %s (%s)\n\n", attribute.c_str(),
	    dn.c_str(), reason.c_str());
}

std::string
SearchReport::referralTooDeep(const std::string &url, int maxDepth)
{
    return line(To::ERR, "\nReferral not followed: more than %d nested referrals (%s)\n\n",
	    maxDepth, url.c_str());
}

std::string
SearchReport::referralRepeated(const std::string &url)
{
    return line(To::ERR, "\nReferral not followed: already searched (%s)\n\n", url.c_str());
}

std::string
SearchReport::tooManyReferrals(const std::string &url, int maxSearches)
{
    return line(To::ERR, "\nReferral not followed: more than %d referral searches (%s)\n\n",
	    maxSearches, url.c_str());
}

std::string
SearchReport::pagingNoProgress()
{
    return line(To::ERR, "\nPaged search stopped: the server made no progress (a page with "
	    "no entry and the same cookie, or the same entries again)\n\n");
}

std::string
SearchReport::pageCookieTooLarge(size_t bytes, size_t maxBytes)
{
    return line(To::ERR, "\nPaged search stopped: a page cookie of %lu bytes, more than %lu\n\n",
	    static_cast<unsigned long>(bytes), static_cast<unsigned long>(maxBytes));
}

std::string
SearchReport::pageControlUnreadable()
{
    return line(To::ERR, "\nPaged search stopped: the server's paged-results control cannot "
	    "be read\n\n");
}

std::string
SearchReport::tooManyPages(unsigned maxPages)
{
    return line(To::ERR, "\nPaged search stopped after %u pages\n\n", maxPages);
}

std::string
SearchReport::timeLimitOver(unsigned seconds)
{
    return line(To::ERR, "\nSearch stopped: its time limit of %u s is over\n\n", seconds);
}

std::string
SearchReport::total(int32_t count)
{
    return line(To::ERR, "Total entries = %d\n", static_cast<int>(count));
}

std::string
SearchReport::unknownOption(const std::string &name)
{
    return line(To::KEEP, "Unknown option skipped: %s", name.c_str());
}

std::string
SearchReport::domainControllers(const std::string &domain, const std::vector<std::string> &servers)
{
    std::string list;
    for (const std::string &s : servers) {
	list += (list.empty() ? "" : " ") + s;
    }
    return line(To::KEEP, "Domain controllers of %s: %s", domain.c_str(), list.c_str());
}

std::string
SearchReport::referralListed(const std::string &url)
{
    return line(To::KEEP, "Referral not followed: referrals false (%s)", url.c_str());
}

} // namespace hkdir
