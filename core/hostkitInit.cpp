/*
 * hostkitInit.cpp --
 *
 *	Entry points of the Hostkit module: Hostkit_Init and Hostkit_SafeInit
 *	bind to the interpreter through stubs, set "hostkit_version", provide
 *	the package "OmbriHostkit" and register the command table.
 */

#include "core/hostkit.h"

/*
 * The oldest Tcl each build binds to: the Tcl 8 module loads into every Tcl
 * from 8.4 on (it calls only what 8.4's stubs table holds), the Tcl 9
 * module (tcl9Hostkit) into Tcl 9.
 */
#if TCL_MAJOR_VERSION < 9
#define HK_TCL_STUBS_VERSION "8.4"
#else
#define HK_TCL_STUBS_VERSION "9.0"
#endif

namespace {

enum CommandKind { STRING_COMMAND, OBJECT_COMMAND };

struct CommandEntry {
    const char *name;
    CommandKind kind;
    Tcl_CmdProc *stringProc;
    Tcl_ObjCmdProc *objProc;
};

/*
 * The command table, in registration order. Scripts and the test suite
 * depend on these names and kinds; each name is the command of its
 * failures in core/failures.cpp.
 */
const CommandEntry commandTable[] = {
    {"filegetversion",        OBJECT_COMMAND, nullptr, HkFileGetVersionObjCmd},
    {"terminateprocess",      STRING_COMMAND, HkTerminateProcessCmd, nullptr},
    {"getprocesslist",        STRING_COMMAND, HkGetProcessListCmd, nullptr},
    {"ldapsearch",            STRING_COMMAND, HkLdapSearchCmd, nullptr},
    {"ldapsearchgetnextitem", STRING_COMMAND, HkLdapSearchGetNextItemCmd, nullptr},
    {"ldapencryptpassword",   STRING_COMMAND, HkLdapEncryptPasswordCmd, nullptr},
    {"ldapdecryptpassword",   STRING_COMMAND, HkLdapDecryptPasswordCmd, nullptr},
    {"filesetmtime",          OBJECT_COMMAND, nullptr, HkFileSetMtimeObjCmd},
    {"execprocess",           OBJECT_COMMAND, nullptr, HkExecProcessObjCmd},
    {"gettempfilename",       OBJECT_COMMAND, nullptr, HkGetTempFileNameObjCmd},
    {"ldapsearchinfo",        STRING_COMMAND, HkLdapSearchInfoCmd, nullptr},
};

} // namespace

extern "C" {

DLLEXPORT int Hostkit_Init(Tcl_Interp *interp);
DLLEXPORT int Hostkit_SafeInit(Tcl_Interp *interp);

/*
 * Hostkit_Init --
 *
 *	Returns the result of Tcl_PkgProvide: the commands are registered even
 *	when providing the package fails (another version already present).
 *	Fails before anything is registered when the stubs cannot be bound or
 *	the version variable cannot be set.
 */
int
Hostkit_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, HK_TCL_STUBS_VERSION, 0) == nullptr) {
	return TCL_ERROR;
    }

    /* Only TCL_LEAVE_ERR_MSG: the variable goes into the current scope. */
    Tcl_Obj *versionObj = Tcl_SetVar2Ex(interp, HOSTKIT_VERSION_VAR, nullptr,
	    Tcl_NewDoubleObj(HOSTKIT_VERSION_NUMBER), TCL_LEAVE_ERR_MSG);
    if (versionObj == nullptr) {
	return TCL_ERROR;
    }

    int provided = Tcl_PkgProvide(interp, HOSTKIT_PACKAGE_NAME, HOSTKIT_VERSION);

    for (const CommandEntry &entry : commandTable) {
	if (entry.kind == STRING_COMMAND && entry.stringProc != nullptr) {
	    Tcl_CreateCommand(interp, entry.name, entry.stringProc, nullptr, nullptr);
	} else if (entry.kind == OBJECT_COMMAND && entry.objProc != nullptr) {
	    Tcl_CreateObjCommand(interp, entry.name, entry.objProc, nullptr, nullptr);
	}
    }
    return provided;
}

/*
 * A safe interpreter gets exactly what a trusted one gets.
 */
int
Hostkit_SafeInit(Tcl_Interp *interp)
{
    return Hostkit_Init(interp);
}

} // extern "C"
