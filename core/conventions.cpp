/*
 * conventions.cpp --
 *
 *	The command conventions shared by every Hostkit command: how results
 *	and failures reach the interpreter, and the wide-text helpers that
 *	object commands use.
 */

#include "core/hostkit.h"

static_assert(sizeof(Tcl_UniChar) == sizeof(WideChar), "Hostkit needs a Tcl with 16-bit Tcl_UniChar");

Tcl_Obj *
hkNewWideObj(const WideString &text)
{
    return Tcl_NewUnicodeObj(reinterpret_cast<const Tcl_UniChar *>(text.data()),
	    static_cast<int>(text.size()));
}

WideString
hkWideArg(Tcl_Obj *objPtr)
{
    int length = 0;
    Tcl_UniChar *chars = Tcl_GetUnicodeFromObj(objPtr, &length);
    return WideString(reinterpret_cast<const WideChar *>(chars), static_cast<size_t>(length));
}

int
hkSetNarrowResult(Tcl_Interp *interp, const char *text)
{
    Tcl_SetResult(interp, const_cast<char *>(text), TCL_VOLATILE);
    return TCL_OK;
}

int
hkSetWideResult(Tcl_Interp *interp, const WideString &text)
{
    Tcl_SetObjResult(interp, hkNewWideObj(text));
    return TCL_OK;
}

/*
 * In every failure the code is stored last, so that nothing that runs while
 * the message is set can disturb it before the caller reads Tcl_GetErrno.
 */

int
hkFailNarrow(Tcl_Interp *interp, const char *message, int code)
{
    Tcl_SetResult(interp, const_cast<char *>(message), TCL_VOLATILE);
    Tcl_SetErrno(code);
    return TCL_ERROR;
}

int
hkFailWide(Tcl_Interp *interp, const WideString &message, int code)
{
    Tcl_SetObjResult(interp, hkNewWideObj(message));
    Tcl_SetErrno(code);
    return TCL_ERROR;
}

int
hkFailCode(Tcl_Interp *interp, int code)
{
    (void) interp;
    Tcl_SetErrno(code);
    return TCL_ERROR;
}
