/*
 * getProcessList.cpp --
 *
 *	The getprocesslist command: every process whose executable image can
 *	be inspected, as {name N pid N path P threadCount N priority N}.
 */

#include "core/hostkit.h"
#include "process/processPlatform.h"

namespace {

void
appendWide(Tcl_Obj *list, const WideString &text)
{
    Tcl_ListObjAppendElement(nullptr, list,
	    hkNewWideObj(text));
}

} // namespace

/*
 * getprocesslist ?ignored ...?
 */
extern "C" int
HkGetProcessListCmd(ClientData, Tcl_Interp *interp, int, const char *[])
{
    std::vector<HkpProcessInfo> processes;
    switch (HkpListProcesses(processes)) {
    case HKP_LIST_NO_SNAPSHOT:
	return hkFailNarrow(interp, "Could not get process list information", -10);
    case HKP_LIST_NO_FIRST:
	return hkFailNarrow(interp, "Could not walk the list of processes", -20);
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
	Tcl_Obj *entry = Tcl_NewListObj(0, nullptr);
	appendWide(entry, keyName);
	appendWide(entry, p.name);
	appendWide(entry, keyPid);
	appendWide(entry, hkWideDecimal(p.pid));
	appendWide(entry, keyPath);
	appendWide(entry, p.path);
	appendWide(entry, keyThreads);
	appendWide(entry, hkWideDecimal(p.threadCount));
	appendWide(entry, keyPriority);
	appendWide(entry, hkWideDecimal(p.priority));
	Tcl_ListObjAppendElement(nullptr, result, entry);
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}
