/*
 * tempFileName.cpp --
 *
 *	Temporary file names: makeTempFileName and the gettempfilename
 *	command.
 */

#include "files/tempFileName.h"
#include "files/tempFilePlatform.h"

WideString
tempFilePrefix(const WideString &prefix)
{
    WideString out = prefix.substr(0, 3);
    if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF) {
	out.pop_back();
    }
    for (WideChar &c : out) {
	if (c == '/' || c == '\\' || c == 0) {
	    c = '_';
	}
    }
    return out;
}

WideString
makeTempFileName(const WideString &prefix)
{
    return HkpMakeTempFile(tempFilePrefix(prefix));
}

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
	return hkFailNarrow(interp, "Unable to get temporary file name", -20);
    }
    return hkSetWideResult(interp, name);
}
