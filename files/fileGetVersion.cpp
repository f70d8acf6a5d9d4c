/*
 * fileGetVersion.cpp --
 *
 *	The filegetversion command: one string attribute of a file's version
 *	resource.
 */

#include "core/hostkit.h"
#include "files/versionInfoReader.h"

/*
 * filegetversion <file name> <version attribute name>
 *
 * The value comes back unchanged (no trimming). Names are zero-terminated
 * wide text for the platform, so they end at an embedded NUL.
 */
extern "C" int
HkFileGetVersionObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
	return hkFailWide(interp, hkWide("Usage: filegetversion <file name> <version attribute name> "
		"e.g. filegetversion abc.dll ProductVersion"), -10);
    }

    VersionInfoReader reader;
    WideString fileName = hkWideArg(objv[1]);
    if (!reader.loadFile(fileName.c_str())) {
	return hkFailWide(interp, hkWide("File does not exist or has no version information"), -20);
    }
    WideString attribute = hkWideArg(objv[2]);
    std::unique_ptr<WideChar[]> value = reader.queryString(attribute.c_str());
    if (!value) {
	return hkFailWide(interp, hkWide("File does not have the specified version attribute"), -30);
    }
    return hkSetWideResult(interp, WideString(value.get()));
}
