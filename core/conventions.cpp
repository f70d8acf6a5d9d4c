/*
 * conventions.cpp --
 *
 *	The command conventions shared by every Hostkit command: how results
 *	and failures reach the interpreter, and the wide-text helpers that
 *	object commands use.
 */

#include "core/hostkit.h"

#include <cstdio>

WideString
hkWideArg(Tcl_Obj *objPtr)
{
    int length = 0;
    Tcl_UniChar *chars = Tcl_GetUnicodeFromObj(objPtr, &length);
    return WideString(chars, static_cast<size_t>(length));
}

WideString
hkWide(const char *ascii)
{
    WideString out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(ascii); *p; ++p) {
	out.push_back(static_cast<Tcl_UniChar>(*p));
    }
    return out;
}

WideString
hkWideDecimal(long long value)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", value);
    return hkWide(buf);
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
    Tcl_SetObjResult(interp, Tcl_NewUnicodeObj(text.data(), static_cast<int>(text.size())));
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
    Tcl_SetObjResult(interp, Tcl_NewUnicodeObj(message.data(), static_cast<int>(message.size())));
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
