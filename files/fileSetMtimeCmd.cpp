/*
 * fileSetMtimeCmd.cpp --
 *
 *	The filesetmtime command: sets a file's last-write time to a local
 *	date and time.
 */

#include "core/hostkit.h"
#include "core/failureWords.h"
#include "files/base/nulText.h"
#include "files/base/timeWord.h"
#include "files/fileTimePlatform.h"

namespace {

int
invalidTime(Tcl_Interp *interp, const WideString &fileName, const WideString &timeText)
{
    return hkFailWide(interp, hkWide("filesetmtime : ") + fileName
	    + hkWide(" : Invalid Time Specification ") + timeText
	    + hkWide(" (Should be Yr Mnth Day Hr Min Sec)"), -20);
}

} // namespace

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
	return hkFailWide(interp, hkWide("Usage: filesetmtime <file name> <current modified time in "
		"seconds> <new modified time in seconds> e.g. filesetmtime abc.dll 1089235720 "
		"1089235800"), -10);
    }
    WideString fileName = hkfiles::untilNul(hkWideArg(objv[1]));
    WideString timeText = hkfiles::untilNul(hkWideArg(objv[2]));

    hkfiles::LocalTime when;
    if (!hkfiles::readTimeWord(timeText, &when)) {
	return invalidTime(interp, fileName, timeText);
    }
    int error = 0;
    switch (HkpSetFileMtime(fileName, when, &error)) {
    case HKP_MTIME_INVALID_TIME:
	return invalidTime(interp, fileName, timeText);
    case HKP_MTIME_OPEN_FAILED:
	hkFailureDetail(nullptr, error);
	return hkFailWide(interp, hkWide("filesetmtime : Could not open file ") + fileName
		+ hkWide(". GetLastError = ") + hkWideDecimal(error), -30);
    case HKP_MTIME_SET_FAILED:
	hkFailureDetail(nullptr, error);
	return hkFailWide(interp, hkWide("filesetmtime : Could not set file time for ") + fileName
		+ hkWide(". GetLastError = ") + hkWideDecimal(error), -40);
    case HKP_MTIME_SET:
	break;
    }
    return TCL_OK;
}
