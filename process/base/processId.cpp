/*
 * processId.cpp --
 *
 *	Reading terminateprocess's process id word.
 */

#include "process/base/processId.h"

#include <cstdlib>

namespace hkproc {

bool
readProcessIdWord(const char *word, uint32_t *pid)
{
    /* strtoll reads as atoi does, but saturates instead of overflowing. */
    long long value = strtoll(word, nullptr, 10);
    if (value == 0) {
	return false;
    }
    if (value < -2147483648LL || value > 4294967295LL) {
	*pid = HK_NO_PROCESS_ID;
    } else {
	*pid = static_cast<uint32_t>(value);
    }
    return true;
}

} // namespace hkproc
