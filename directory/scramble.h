/*
 * scramble.h --
 *
 *	Password scrambling: a byte-wise XOR with the package's 12-byte key,
 *	written out as lower-case hexadecimal text, and its inverse. The key is
 *	built at load (hkInitScrambleKey, core/processState.cpp).
 */

#ifndef HOSTKIT_SCRAMBLE_H
#define HOSTKIT_SCRAMBLE_H

/*
 * Returns the scrambled text of a zero-terminated password: 2n lower-case
 * hexadecimal digits for n bytes, zero-terminated, in a buffer of 2n + 1
 * bytes allocated with new char[]. The caller frees it with delete[].
 * Returns nullptr only when memory runs out.
 */
char *scramblePassword(const char *password);

/*
 * Returns the password of a zero-terminated scrambled text of n characters,
 * zero-terminated, in a buffer of (n + 1) / 2 + 1 bytes allocated with
 * new char[]. The caller frees it with delete[]. Every text is accepted:
 * each pair of characters is read with strtoul base 16, a last odd
 * character is ignored, and a pair that unscrambles to zero ends the
 * password there. Returns nullptr only when memory runs out.
 */
char *unscramblePassword(const char *text);

#endif /* HOSTKIT_SCRAMBLE_H */
