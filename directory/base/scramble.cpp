/*
 * scramble.cpp --
 *
 *	Password scrambling: assembling the key, scramblePassword and
 *	unscramblePassword.
 *
 *	The key is put together one byte at a time and out of order. Each byte
 *	is the XOR of two unrelated halves read through volatile objects, so
 *	that the compiler can neither fold them into constants nor merge the
 *	stores into one wide immediate: the key never stands as one piece in
 *	the module's stored data.
 */

#include "directory/base/scramble.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace hkdir {

namespace {

/*
 * Step s of assembling the key writes key byte KEY_ORDER[s] as
 * KEY_HALF_A[s] ^ KEY_HALF_B[s].
 */
const unsigned char KEY_ORDER[HK_SCRAMBLE_KEY_LENGTH] = {7, 2, 10, 0, 5, 11, 3, 8, 1, 6, 9, 4};
volatile const unsigned char KEY_HALF_A[HK_SCRAMBLE_KEY_LENGTH] = {
    0x5e, 0xad, 0x9e, 0x83, 0xd7, 0x73, 0x09, 0x52, 0x2b, 0xad, 0x1f, 0x8a
};
volatile const unsigned char KEY_HALF_B[HK_SCRAMBLE_KEY_LENGTH] = {
    0xff, 0xb3, 0xfc, 0xd8, 0x3f, 0xff, 0x9e, 0x6b, 0xe8, 0xd9, 0xe9, 0xa7
};

const char HEX_DIGITS[] = "0123456789abcdef";

/* Scrambled text is written in hexadecimal, two digits a byte. */
const int HEX_BASE = 16;

} // namespace

void
assembleScrambleKey(ScrambleKey &key)
{
    for (size_t step = 0; step < HK_SCRAMBLE_KEY_LENGTH; step++) {
	key.bytes[KEY_ORDER[step]] =
		static_cast<unsigned char>(KEY_HALF_A[step] ^ KEY_HALF_B[step]);
    }
}

std::unique_ptr<char[]>
scramblePassword(const char *password, const ScrambleKey &key)
{
    size_t n = strlen(password);
    std::unique_ptr<char[]> text(new (std::nothrow) char[2 * n + 1]);
    if (!text) {
	return nullptr;
    }
    for (size_t i = 0; i < n; i++) {
	unsigned x = static_cast<unsigned char>(password[i])
		^ key.bytes[i % HK_SCRAMBLE_KEY_LENGTH];
	text[2 * i] = HEX_DIGITS[x >> 4];
	text[2 * i + 1] = HEX_DIGITS[x & 15];
    }
    text[2 * n] = '\0';
    return text;
}

std::unique_ptr<char[]>
unscramblePassword(const char *text, const ScrambleKey &key)
{
    size_t n = strlen(text);
    std::unique_ptr<char[]> password(new (std::nothrow) char[(n + 1) / 2 + 1]);
    if (!password) {
	return nullptr;
    }

    /*
     * Each pair goes through strtoul on its own, as scripts may hand over
     * any text: blanks, signs and non-digits give what strtoul makes of
     * them. A last odd character is ignored.
     */
    size_t j = 0;
    for (; 2 * j + 1 < n; j++) {
	char pair[3] = {text[2 * j], text[2 * j + 1], '\0'};
	unsigned long value = strtoul(pair, nullptr, HEX_BASE);
	password[j] = static_cast<char>((value & 0xFF) ^ key.bytes[j % HK_SCRAMBLE_KEY_LENGTH]);
    }
    password[j] = '\0';
    return password;
}

} // namespace hkdir
