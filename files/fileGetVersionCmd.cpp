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
	return hkFailWide(interp, hkWide("Usage: filegetversion <file name> <version attribute name> "
		"e.g. filegetversion abc.dll ProductVersion"), -10);
    }

    WideString value;
    switch (hkfiles::readVersionString(hkWideArg(objv[1]), hkWideArg(objv[2]), &value)) {
    case hkfiles::HK_VERSION_NO_INFO:
	return hkFailWide(interp, hkWide("File does not exist or has no version information"), -20);
    case hkfiles::HK_VERSION_NO_ATTRIBUTE:
	return hkFailWide(interp, hkWide("File does not have the specified version attribute"), -30);
    case hkfiles::HK_VERSION_FOUND:
	break;
    }
    return hkSetWideResult(interp, value);
}
