/*
 * tempFileNameCmd.cpp --
 *
 *	The gettempfilename command: a new, empty file in the temporary
 *	directory, named after a prefix.
 */

#include "core/hostkit.h"
#include "files/tempFileName.h"

/*
 * gettempfilename ?prefix? ?ignored ...?
 */
extern "C" int
HkGetTempFileNameObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    WideString prefix;
    if (objc > 1) {
	prefix = hkWideArg(objv[1]);
    }
    WideString name = makeTempFileName(prefix);
    if (name.empty()) {
	return hkFail(interp, HkFailure::TEMP_FILE);
    }
    return hkSetWideResult(interp, name);
}
