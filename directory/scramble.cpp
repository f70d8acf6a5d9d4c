/*
 * scramble.cpp --
 *
 *	Password scrambling: the key, scramblePassword/unscramblePassword and
 *	the commands ldapencryptpassword/ldapdecryptpassword.
 *
 *	The key is put together at load, one byte at a time and out of order,
 *	in a heap buffer of its own. Each byte is the XOR of two unrelated
 *	halves read through volatile objects, so that the compiler can neither
 *	fold them into constants nor merge the stores into one wide immediate:
 *	the key never stands as one piece in the module's stored data.
 */

#include "directory/scramble.h"

#include "core/hostkit.h"
#include "core/processState.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const size_t kKeyLength = 12;

/* Filled by hkInitScrambleKey: 12 key bytes and a zero. */
unsigned char *scrambleKey = nullptr;
size_t scrambleKeyLength = 0;

/*
 * Step s of building the key writes key byte kKeyOrder[s] as
 * kKeyHalfA[s] ^ kKeyHalfB[s].
 */
const unsigned char kKeyOrder[kKeyLength] = {7, 2, 10, 0, 5, 11, 3, 8, 1, 6, 9, 4};
volatile const unsigned char kKeyHalfA[kKeyLength] = {
    0x5e, 0xad, 0x9e, 0x83, 0xd7, 0x73, 0x09, 0x52, 0x2b, 0xad, 0x1f, 0x8a
};
volatile const unsigned char kKeyHalfB[kKeyLength] = {
    0xff, 0xb3, 0xfc, 0xd8, 0x3f, 0xff, 0x9e, 0x6b, 0xe8, 0xd9, 0xe9, 0xa7
};

const char kHexDigits[] = "0123456789abcdef";

} // namespace

void
hkInitScrambleKey(void)
{
    unsigned char *key = new unsigned char[kKeyLength + 1];
    key[kKeyLength] = 0;
    for (size_t step = 0; step < kKeyLength; step++) {
	key[kKeyOrder[step]] = static_cast<unsigned char>(kKeyHalfA[step] ^ kKeyHalfB[step]);
    }
    scrambleKey = key;
    scrambleKeyLength = kKeyLength;
}

char *
scramblePassword(const char *password)
{
    size_t n = strlen(password);
    char *text = new (std::nothrow) char[2 * n + 1];
    if (text == nullptr) {
	return nullptr;
    }
    for (size_t i = 0; i < n; i++) {
	unsigned x = static_cast<unsigned char>(password[i]) ^ scrambleKey[i % scrambleKeyLength];
	text[2 * i] = kHexDigits[x >> 4];
	text[2 * i + 1] = kHexDigits[x & 15];
    }
    text[2 * n] = '\0';
    return text;
}

char *
unscramblePassword(const char *text)
{
    size_t n = strlen(text);
    char *password = new (std::nothrow) char[(n + 1) / 2 + 1];
    if (password == nullptr) {
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
	unsigned long value = strtoul(pair, nullptr, 16);
	password[j] = static_cast<char>((value & 0xFF) ^ scrambleKey[j % scrambleKeyLength]);
    }
    password[j] = '\0';
    return password;
}

namespace {

/*
 * Both commands: one argument, or code -10 with an empty result; the
 * output is set with TCL_VOLATILE and the buffer freed here.
 */
int
runScrambleCommand(Tcl_Interp *interp, int argc, const char *argv[],
	char *(*convert)(const char *))
{
    if (argc != 2) {
	return hkFailCode(interp, -10);
    }
    char *output = convert(argv[1]);
    if (output == nullptr) {
	return hkFailNarrow(interp, "Not enough memory", -20);
    }
    hkSetNarrowResult(interp, output);
    delete[] output;
    return TCL_OK;
}

} // namespace

/*
 * ldapencryptpassword <password>
 */
extern "C" int
HkLdapEncryptPasswordCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return runScrambleCommand(interp, argc, argv, scramblePassword);
}

/*
 * ldapdecryptpassword <scrambled text>
 */
extern "C" int
HkLdapDecryptPasswordCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return runScrambleCommand(interp, argc, argv, unscramblePassword);
}
