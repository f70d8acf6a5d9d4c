/*
 * tempFileName.cpp --
 *
 *	Temporary file names: the prefix rule and the platform's temporary
 *	file.
 */

#include "files/tempFileName.h"
#include "files/tempFilePlatform.h"

namespace {

/* The characters of the prefix that lead the file name, as Windows takes them. */
const size_t PREFIX_LENGTH = 3;

bool
isHighSurrogate(WideChar c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

WideString
tempFilePrefix(const WideString &prefix)
{
    WideString out = prefix.substr(0, PREFIX_LENGTH);
    if (!out.empty() && isHighSurrogate(out.back())) {
	out.pop_back();
    }
    for (WideChar &c : out) {
	if (c == '/' || c == '\\' || c == 0) {
	    c = '_';
	}
    }
    return out;
}

WideString
makeTempFileName(const WideString &prefix)
{
    return HkpMakeTempFile(tempFilePrefix(prefix));
}
