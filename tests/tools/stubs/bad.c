/* Calls two functions that Tcl 8.5 added to the stubs table. */
#include <tcl.h>

DLLEXPORT int Bad_Init(Tcl_Interp *interp) {
    Tcl_Obj *dict;
    if (Tcl_InitStubs(interp, "8.4", 0) == NULL) return TCL_ERROR;
    dict = Tcl_NewDictObj();
    Tcl_DictObjPut(interp, dict, Tcl_NewStringObj("k", -1), Tcl_NewIntObj(1));
    Tcl_SetObjResult(interp, dict);
    return TCL_OK;
}
