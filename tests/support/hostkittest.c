/*
 * hostkittest.c --
 *
 *	Test-support extension, loaded only by the test suites:
 *
 *	    load HostkitTest.so Hostkittest
 *	    hostkittest::call word ?word ...?
 *
 *	evaluates the words as one command and returns the list
 *	{return code} {interpreter result} {errno}, the errno being read with
 *	Tcl_GetErrno at once after the command returned. Scripts have no other
 *	way to see the failure code that a Hostkit command stores.
 *
 *	    hostkittest::init file ?safe?
 *
 *	calls the module's Hostkit_Init (or Hostkit_SafeInit) once more on
 *	this interpreter, which Tcl's load does not do for a module it has
 *	loaded into the interpreter already, and returns {code result}.
 */

#include <tcl.h>
#include <errno.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

static int
CallObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int code, err;
    Tcl_Obj *result, *list;

    (void) clientData;
    if (objc < 2) {
	Tcl_WrongNumArgs(interp, 1, objv, "word ?word ...?");
	return TCL_ERROR;
    }
    Tcl_SetErrno(0);
    code = Tcl_EvalObjv(interp, objc - 1, objv + 1, 0);
    err = Tcl_GetErrno();

    result = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(result);
    list = Tcl_NewListObj(0, NULL);
    Tcl_ListObjAppendElement(interp, list, Tcl_NewIntObj(code));
    Tcl_ListObjAppendElement(interp, list, result);
    Tcl_ListObjAppendElement(interp, list, Tcl_NewIntObj(err));
    Tcl_DecrRefCount(result);
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

typedef int (InitProc)(Tcl_Interp *);

static int
InitObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    const char *name;
    InitProc *init;

    (void) clientData;
    if (objc != 2 && objc != 3) {
	Tcl_WrongNumArgs(interp, 1, objv, "file ?safe?");
	return TCL_ERROR;
    }
    name = (objc == 3) ? "Hostkit_SafeInit" : "Hostkit_Init";
#ifdef _WIN32
    {
	Tcl_DString ds;
	HMODULE module;
	Tcl_WinUtfToTChar(Tcl_GetString(objv[1]), -1, &ds);
	module = LoadLibraryW((const WCHAR *) Tcl_DStringValue(&ds));
	Tcl_DStringFree(&ds);
	init = module ? (InitProc *) (void *) GetProcAddress(module, name) : NULL;
    }
#else
    {
	void *module = dlopen(Tcl_GetString(objv[1]), RTLD_NOW);
	init = module ? (InitProc *) dlsym(module, name) : NULL;
    }
#endif
    if (init == NULL) {
	Tcl_SetResult(interp, (char *) "cannot find the init function", TCL_STATIC);
	return TCL_ERROR;
    }
    {
	int code = init(interp);
	Tcl_Obj *list = Tcl_NewListObj(0, NULL);
	Tcl_ListObjAppendElement(interp, list, Tcl_NewIntObj(code));
	Tcl_ListObjAppendElement(interp, list, Tcl_GetObjResult(interp));
	Tcl_SetObjResult(interp, list);
    }
    return TCL_OK;
}

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
int
Hostkittest_Init(Tcl_Interp *interp)
{
    if (Tcl_InitStubs(interp, TCL_MAJOR_VERSION < 9 ? "8.4" : "9.0", 0) == NULL) {
	return TCL_ERROR;
    }
    Tcl_CreateObjCommand(interp, "hostkittest::call", CallObjCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "hostkittest::init", InitObjCmd, NULL, NULL);
    return TCL_OK;
}
