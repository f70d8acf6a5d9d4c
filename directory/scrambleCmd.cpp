/*
 * scrambleCmd.cpp --
 *
 *	The commands ldapencryptpassword and ldapdecryptpassword: password
 *	scrambling with the key that the module assembled at load.
 */

#include "core/base/tclUtf8.h"
#include "directory/base/scramble.h"
#include "directory/directoryState.h"
#include "core/hostkit.h"

namespace {

/* The command name and the text to convert. */
const int SCRAMBLE_WORD_COUNT = 2;

typedef std::unique_ptr<char[]> (*Conversion)(const char *, const hkdir::ScrambleKey &);

/*
 * Both commands: one argument, or the usage failure, which has no
 * message; the output is copied into the result as Tcl text. An
 * unscrambled password may be any bytes: those that are not UTF-8 become
 * the characters of their value, as Tcl's own utf-8 decoding has them.
 */
int
runScrambleCommand(Tcl_Interp *interp, int argc, const char *argv[], Conversion convert,
	HkFailure usage, HkFailure noMemory)
{
    if (argc != SCRAMBLE_WORD_COUNT) {
	return hkFail(interp, usage);
    }
    std::unique_ptr<char[]> output = convert(argv[1], hkdir::scrambleKey());
    if (!output) {
	return hkFail(interp, noMemory);
    }
    std::string text = hkTclUtf8(output.get());
    return hkSetNarrowResult(interp, text.c_str());
}

} // namespace

/*
 * ldapencryptpassword <password>
 */
extern "C" int
HkLdapEncryptPasswordCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return runScrambleCommand(interp, argc, argv, hkdir::scramblePassword,
	    HkFailure::ENCRYPT_USAGE, HkFailure::ENCRYPT_NO_MEMORY);
}

/*
 * ldapdecryptpassword <scrambled text>
 */
extern "C" int
HkLdapDecryptPasswordCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return runScrambleCommand(interp, argc, argv, hkdir::unscramblePassword,
	    HkFailure::DECRYPT_USAGE, HkFailure::DECRYPT_NO_MEMORY);
}
