/*
 * scramble.cpp --
 *
 *	Password scrambling: the key, scramblePassword/unscramblePassword and
 *	the commands ldapencryptpassword/ldapdecryptpassword.
 */

#include "core/processState.h"

void
hkInitScrambleKey(void)
{
}
