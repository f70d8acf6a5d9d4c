/*
 * fuzz_tclutf8.cpp --
 *
 *	libFuzzer target for bytes as Tcl text: any bytes give valid Tcl text
 *	(no zero byte, only well-formed sequences), of the length announced,
 *	the same in place as copied, which converts again to itself; text
 *	that is already valid UTF-8 of up to three bytes a character comes out
 *	byte for byte.
 */

#include "core/base/tclUtf8.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    size_t length = hkTclUtf8Length(bytes.data(), bytes.size());
    std::string text = hkTclUtf8(bytes);
    if (text.size() != length || length < size || !hkIsTclUtf8(text.data(), text.size())) {
	abort();
    }
    std::string buffer = bytes;
    buffer.resize(length);
    hkToTclUtf8InPlace(&buffer[0], bytes.size(), length);
    if (buffer != text || hkTclUtf8(text) != text) {
	abort();
    }
    if (hkIsTclUtf8(bytes.data(), bytes.size()) && text != bytes) {
	abort();
    }
    return 0;
}
