/*
 * scramble.h --
 *
 *	Password scrambling: a byte-wise XOR with the package's 12-byte key,
 *	written out as lower-case hexadecimal text, and its inverse. The key
 *	is assembled from pieces at run time (assembleScrambleKey) and never
 *	stands as one piece in the module's stored data; the directory area
 *	assembles it once, when the module is loaded (directoryState.h).
 */

#ifndef HOSTKIT_DIRECTORY_BASE_SCRAMBLE_H
#define HOSTKIT_DIRECTORY_BASE_SCRAMBLE_H

#include <cstddef>
#include <memory>

namespace hkdir {

enum { HK_SCRAMBLE_KEY_LENGTH = 12 };

struct ScrambleKey {
    unsigned char bytes[HK_SCRAMBLE_KEY_LENGTH];
};

/* Writes the package's key into key. */
void assembleScrambleKey(ScrambleKey &key);

/*
 * The scrambled text of a zero-terminated password: 2n lower-case
 * hexadecimal digits for n bytes, zero-terminated. Null only when memory
 * runs out.
 */
std::unique_ptr<char[]> scramblePassword(const char *password, const ScrambleKey &key);

/*
 * The password of a zero-terminated scrambled text, zero-terminated. Every
 * text is accepted: each pair of characters is read with strtoul base 16,
 * a last odd character is ignored, and a pair that unscrambles to zero
 * ends the password there. Null only when memory runs out.
 */
std::unique_ptr<char[]> unscramblePassword(const char *text, const ScrambleKey &key);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_SCRAMBLE_H */
