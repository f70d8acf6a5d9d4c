/*
 * outputBytes.cpp --
 *
 *	CR LF treatment of output bytes.
 */

#include "process/base/outputBytes.h"

namespace hkproc {

size_t
crLfToLf(char *data, size_t length)
{
    size_t out = 0;
    for (size_t in = 0; in < length; ++in) {
	if (data[in] == '\r' && in + 1 < length && data[in + 1] == '\n') {
	    continue;
	}
	data[out++] = data[in];
    }
    return out;
}

} // namespace hkproc
