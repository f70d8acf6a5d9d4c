/*
 * procText.cpp --
 *
 *	Reading /proc/PID/stat and /proc/PID/status text; nice values on the
 *	Windows priority scale.
 */

#include "process/base/procText.h"

#include <cstdlib>
#include <vector>

namespace hkproc {

namespace {

/* The words of a text, split at blanks and line feeds. */
std::vector<std::string>
words(const std::string &text, size_t from)
{
    std::vector<std::string> out;
    size_t i = from;
    const size_t n = text.size();
    for (;;) {
	while (i < n && (text[i] == ' ' || text[i] == '\n')) {
	    ++i;
	}
	if (i == n) {
	    break;
	}
	size_t start = i;
	while (i < n && text[i] != ' ' && text[i] != '\n') {
	    ++i;
	}
	out.push_back(text.substr(start, i - start));
    }
    return out;
}

/* Field N of /proc/PID/stat (N >= 3) among the words after the name. */
const std::string &
field(const std::vector<std::string> &after, size_t n)
{
    return after[n - 3];
}

} // namespace

bool
parseProcStat(const std::string &text, ProcStat &out)
{
    size_t close = text.rfind(')');
    if (close == std::string::npos) {
	return false;
    }
    std::vector<std::string> after = words(text, close + 1);
    if (after.size() < 18) {	/* up to field 20 */
	return false;
    }
    out.flags = strtoul(field(after, 9).c_str(), nullptr, 10);
    out.nice = strtol(field(after, 19).c_str(), nullptr, 10);
    out.threads = strtoul(field(after, 20).c_str(), nullptr, 10);
    out.policy = after.size() >= 39 ? strtol(field(after, 41).c_str(), nullptr, 10) : 0;
    return true;
}

bool
parseStatusTgid(const std::string &text, long *tgid)
{
    static const char KEY[] = "Tgid:";
    size_t at = 0;
    while (at < text.size()) {
	size_t next = text.find('\n', at);
	if (text.compare(at, sizeof KEY - 1, KEY) == 0) {
	    size_t value = at + sizeof KEY - 1;
	    size_t end = next == std::string::npos ? text.size() : next;
	    *tgid = strtol(text.substr(value, end - value).c_str(), nullptr, 10);
	    return true;
	}
	if (next == std::string::npos) {
	    break;
	}
	at = next + 1;
    }
    return false;
}

int32_t
windowsBasePriority(long nice, long policy)
{
    if (policy == HK_PROC_SCHED_FIFO || policy == HK_PROC_SCHED_RR) {
	return HK_PRIORITY_REALTIME;
    }
    if (nice <= -15) {
	return HK_PRIORITY_HIGH;
    }
    if (nice <= -5) {
	return HK_PRIORITY_ABOVE_NORMAL;
    }
    if (nice <= 4) {
	return HK_PRIORITY_NORMAL;
    }
    if (nice <= 14) {
	return HK_PRIORITY_BELOW_NORMAL;
    }
    return HK_PRIORITY_IDLE;
}

} // namespace hkproc
