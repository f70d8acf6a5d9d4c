/*
 * fileGetVersionCmd.cpp --
 *
 *	The filegetversion command: one string attribute of a file's version
 *	resource.
 */

#include "core/hostkit.h"
#include "files/versionInfoReader.h"

/*
 * filegetversion <file name> <version attribute name>
 *
 * The value comes back unchanged (no trimming).
 */
extern "C" int
HkFileGetVersionObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
	return hkFail(interp, HkFailure::VERSION_USAGE);
    }

    WideString value;
    switch (hkfiles::readVersionString(hkWideArg(objv[1]), hkWideArg(objv[2]), &value)) {
    case hkfiles::HK_VERSION_NO_INFO:
	return hkFail(interp, HkFailure::VERSION_NO_INFO);
    case hkfiles::HK_VERSION_NO_ATTRIBUTE:
	return hkFail(interp, HkFailure::VERSION_NO_ATTRIBUTE);
    case hkfiles::HK_VERSION_FOUND:
	break;
    }
    return hkSetWideResult(interp, value);
}
