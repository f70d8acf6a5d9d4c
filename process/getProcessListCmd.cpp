/*
 * getProcessListCmd.cpp --
 *
 *	The getprocesslist command: every process whose executable image can
 *	be inspected, as {name N pid N path P threadCount N priority N}.
 */

#include "core/hostkit.h"
#include "process/processPlatform.h"

/*
 * getprocesslist ?ignored ...?
 */
extern "C" int
HkGetProcessListCmd(ClientData, Tcl_Interp *interp, int, const char *[])
{
    std::vector<HkpProcessInfo> processes;
    switch (HkpListProcesses(processes)) {
    case HKP_LIST_NO_SNAPSHOT:
	return hkFail(interp, HkFailure::PROCESS_LIST_SNAPSHOT);
    case HKP_LIST_NO_FIRST:
	return hkFail(interp, HkFailure::PROCESS_LIST_WALK);
    case HKP_LIST_OK:
	break;
    }

    static const WideString keyName = hkWide("name");
    static const WideString keyPid = hkWide("pid");
    static const WideString keyPath = hkWide("path");
    static const WideString keyThreads = hkWide("threadCount");
    static const WideString keyPriority = hkWide("priority");

    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    for (const HkpProcessInfo &p : processes) {
	Tcl_Obj *items[] = {
	    hkNewWideObj(keyName), hkNewWideObj(p.name),
	    hkNewWideObj(keyPid), hkNewWideObj(hkWideDecimal(p.pid)),
	    hkNewWideObj(keyPath), hkNewWideObj(p.path),
	    hkNewWideObj(keyThreads), hkNewWideObj(hkWideDecimal(p.threadCount)),
	    hkNewWideObj(keyPriority), hkNewWideObj(hkWideDecimal(p.priority)),
	};
	/* Appending to an unshared list cannot fail. */
	(void) Tcl_ListObjAppendElement(nullptr, result,
		Tcl_NewListObj(sizeof items / sizeof items[0], items));
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}
