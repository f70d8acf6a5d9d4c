/*
 * fileSetMtime.cpp --
 *
 *	The filesetmtime command: sets a file's last-write time to a local
 *	calendar date and time.
 */

#include "core/hostkit.h"
#include "files/fileTimePlatform.h"
#include "files/timeWord.h"

namespace {

/* Wide text as the platform sees a zero-terminated string: up to its first NUL. */
WideString
untilNul(const WideString &text)
{
    size_t end = text.find(static_cast<WideChar>(0));
    return end == WideString::npos ? text : text.substr(0, end);
}

} // namespace

/*
 * filesetmtime <file name> <Yr Mnth Day Hr Min Sec> ?ignored ...?
 *
 * The usage text speaks of seconds, as it always has; the time word is
 * six numbers of local time, and words after it are not looked at.
 * Messages are built at their full length, whatever the length of the
 * file name and time word.
 */
extern "C" int
HkFileSetMtimeObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
	return hkFailWide(interp, hkWide("Usage: filesetmtime <file name> <current modified time in "
		"seconds> <new modified time in seconds> e.g. filesetmtime abc.dll 1089235720 "
		"1089235800"), -10);
    }
    WideString fileName = untilNul(hkWideArg(objv[1]));
    WideString timeText = untilNul(hkWideArg(objv[2]));

    uint32_t numbers[6];
    int read = hkScanUnsignedNumbers(timeText.data(), timeText.size(), numbers, 6);
    uint64_t utc = 0;
    bool valid = false;
    if (read == 6) {
	/* Each field keeps the low 16 bits of its number. */
	HkpSystemTime local = {};
	local.year = static_cast<uint16_t>(numbers[0]);
	local.month = static_cast<uint16_t>(numbers[1]);
	local.day = static_cast<uint16_t>(numbers[2]);
	local.hour = static_cast<uint16_t>(numbers[3]);
	local.minute = static_cast<uint16_t>(numbers[4]);
	local.second = static_cast<uint16_t>(numbers[5]);
	valid = hkValidCalendarTime(local.year, local.month, local.day, local.hour, local.minute,
		local.second, local.milliseconds) && HkpLocalTimeToFileTime(local, &utc);
    }
    if (!valid) {
	return hkFailWide(interp, hkWide("filesetmtime : ") + fileName
		+ hkWide(" : Invalid Time Specification ") + timeText
		+ hkWide(" (Should be Yr Mnth Day Hr Min Sec)"), -20);
    }

    int error = 0;
    switch (HkpSetFileMtime(fileName, utc, &error)) {
    case HKP_MTIME_OPEN_FAILED:
	return hkFailWide(interp, hkWide("filesetmtime : Could not open file ") + fileName
		+ hkWide(". GetLastError = ") + hkWideDecimal(error), -30);
    case HKP_MTIME_SET_FAILED:
	return hkFailWide(interp, hkWide("filesetmtime : Could not set file time for ") + fileName
		+ hkWide(". GetLastError = ") + hkWideDecimal(error), -40);
    case HKP_MTIME_SET:
	break;
    }
    return TCL_OK;
}
