/*
 * fuzz_scramble.cpp --
 *
 *	libFuzzer target for password scrambling: any text unscrambles without
 *	an overrun to at most half its length, and any password comes back
 *	from its scrambled text unchanged, written in lower-case hexadecimal
 *	of twice its length.
 */

#include "directory/base/scramble.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace hkdir;

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static ScrambleKey key = [] {
	ScrambleKey k;
	assembleScrambleKey(k);
	return k;
    }();
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));

    std::unique_ptr<char[]> password = unscramblePassword(text.c_str(), key);
    if (!password || strlen(password.get()) > text.size() / 2) {
	abort();
    }

    std::unique_ptr<char[]> scrambled = scramblePassword(text.c_str(), key);
    if (!scrambled || strlen(scrambled.get()) != 2 * text.size()
	    || strspn(scrambled.get(), "0123456789abcdef") != 2 * text.size()) {
	abort();
    }
    std::unique_ptr<char[]> back = unscramblePassword(scrambled.get(), key);
    if (!back || text != back.get()) {
	abort();
    }
    return 0;
}
