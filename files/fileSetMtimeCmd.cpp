/*
 * fileSetMtimeCmd.cpp --
 *
 *	The filesetmtime command: sets a file's last-write time to a local
 *	date and time.
 */

#include "core/hostkit.h"
#include "files/base/nulText.h"
#include "files/base/timeWord.h"
#include "files/fileTimePlatform.h"

/*
 * filesetmtime <file name> <Yr Mnth Day Hr Min Sec> ?ignored ...?
 *
 * The usage text speaks of seconds, as it always has; the time word is
 * six numbers of local time, and words after it are not looked at. Both
 * words end at their first NUL, as the system reads them, and messages
 * show them so, at their full length.
 */
extern "C" int
HkFileSetMtimeObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
	return hkFail(interp, HkFailure::MTIME_USAGE);
    }
    WideString fileName = hkfiles::untilNul(hkWideArg(objv[1]));
    WideString timeText = hkfiles::untilNul(hkWideArg(objv[2]));

    hkfiles::LocalTime when;
    if (!hkfiles::readTimeWord(timeText, &when)) {
	return hkFail(interp, HkFailure::MTIME_TIME, {fileName, timeText});
    }
    int error = 0;
    switch (HkpSetFileMtime(fileName, when, &error)) {
    case HKP_MTIME_INVALID_TIME:
	return hkFail(interp, HkFailure::MTIME_TIME, {fileName, timeText});
    case HKP_MTIME_OPEN_FAILED:
	return hkFailWithDetail(interp, HkFailure::MTIME_OPEN, error,
		{fileName, hkWideDecimal(error)});
    case HKP_MTIME_SET_FAILED:
	return hkFailWithDetail(interp, HkFailure::MTIME_SET, error,
		{fileName, hkWideDecimal(error)});
    case HKP_MTIME_SET:
	break;
    }
    return TCL_OK;
}
