/* Calls only functions of the Tcl 8.4 stubs table, two of them through the
 * macros Tcl_PkgProvide (-> Tcl_PkgProvideEx) and Tcl_DecrRefCount
 * (-> TclFreeObj). Also built without USE_TCL_STUBS as the module "direct". */
#include <tcl.h>

static int HelloCmd(ClientData cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_Obj *o = Tcl_NewStringObj("hello", -1);
    Tcl_IncrRefCount(o);
    Tcl_SetObjResult(interp, Tcl_DuplicateObj(o));
    Tcl_DecrRefCount(o);
    return TCL_OK;
}

DLLEXPORT int Good_Init(Tcl_Interp *interp) {
#ifdef USE_TCL_STUBS
    if (Tcl_InitStubs(interp, "8.4", 0) == NULL) return TCL_ERROR;
#endif
    Tcl_CreateObjCommand(interp, "hello", HelloCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "good", "1.0");
}
