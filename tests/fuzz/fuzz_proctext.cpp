/*
 * fuzz_proctext.cpp --
 *
 *	Fuzzes the readers of /proc text (a process's name, which anyone can
 *	choose, stands in the stat line) and of terminateprocess's id word,
 *	checking what each promises: a stat line is taken exactly when enough
 *	fields follow the last ')', priorities stay on the Windows scale, and
 *	an id word names a process exactly when strtoll reads it as non-zero.
 */

#include "process/base/procText.h"
#include "process/base/processId.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace hkproc;

namespace {

size_t
wordsAfter(const std::string &text, size_t from)
{
    size_t count = 0;
    bool inWord = false;
    for (size_t i = from; i < text.size(); ++i) {
	bool blank = text[i] == ' ' || text[i] == '\n';
	if (!blank && !inWord) {
	    ++count;
	}
	inWord = !blank;
    }
    return count;
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);

    ProcStat stat;
    size_t close = text.rfind(')');
    bool expected = close != std::string::npos && wordsAfter(text, close + 1) >= 18;
    if (parseProcStat(text, stat) != expected) {
	abort();
    }
    if (expected) {
	int32_t p = windowsBasePriority(stat.nice, stat.policy);
	if (p != HK_PRIORITY_REALTIME && p != HK_PRIORITY_HIGH && p != HK_PRIORITY_ABOVE_NORMAL
		&& p != HK_PRIORITY_NORMAL && p != HK_PRIORITY_BELOW_NORMAL && p != HK_PRIORITY_IDLE) {
	    abort();
	}
    }

    long tgid = 0;
    bool hasLine = text.compare(0, 5, "Tgid:") == 0 || text.find("\nTgid:") != std::string::npos;
    if (parseStatusTgid(text, &tgid) != hasLine) {
	abort();
    }

    std::string word = text.substr(0, text.find('\0'));
    uint32_t pid = 0;
    if (readProcessIdWord(word.c_str(), &pid) != (strtoll(word.c_str(), nullptr, 10) != 0)) {
	abort();
    }
    return 0;
}
