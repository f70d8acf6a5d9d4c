/* Tcl_GetOpenFile: in the Tcl 8.4 table on Unix only. Built for Linux only:
 * Tcl's Windows headers do not declare it. */
#include <tcl.h>

DLLEXPORT int Unixonly_Init(Tcl_Interp *interp) {
    ClientData handle;
    if (Tcl_InitStubs(interp, "8.4", 0) == NULL) return TCL_ERROR;
    return Tcl_GetOpenFile(interp, "stdout", 1, 0, &handle);
}
