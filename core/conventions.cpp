/*
 * conventions.cpp --
 *
 *	The command conventions shared by every Hostkit command: how results
 *	and failures reach the interpreter, and the wide-text helpers that
 *	object commands use.
 */

#include "core/hostkit.h"

/*
 * Wide text crosses the Tcl boundary in the form each Tcl provides:
 * - Tcl 8 holds text as 16-bit Tcl_UniChar, the same UTF-16 units as
 *   WideString, so words are read with Tcl_GetUnicodeFromObj and results
 *   made with Tcl_NewUnicodeObj, as every Tcl from 8.4 on offers them;
 * - Tcl 9's Tcl_UniChar is 32-bit, so text goes through Tcl's (UTF-8)
 *   string form with Tcl_UtfToChar16DString / Tcl_Char16ToUtfDString,
 *   which split characters outside the BMP into surrogate pairs and join
 *   them again.
 */
#if TCL_MAJOR_VERSION < 9

static_assert(sizeof(Tcl_UniChar) == sizeof(WideChar), "a Tcl 8 build needs a Tcl with 16-bit Tcl_UniChar");

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

#else /* Tcl 9 */

static_assert(sizeof(unsigned short) == sizeof(WideChar), "Tcl's 16-bit text is unsigned short");

Tcl_Obj *
hkNewWideObj(const WideString &text)
{
    Tcl_DString utf;
    Tcl_DStringInit(&utf);
    Tcl_Char16ToUtfDString(reinterpret_cast<const unsigned short *>(text.data()),
	    static_cast<Tcl_Size>(text.size()), &utf);
    Tcl_Obj *objPtr = Tcl_NewStringObj(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf));
    Tcl_DStringFree(&utf);
    return objPtr;
}

WideString
hkWideArg(Tcl_Obj *objPtr)
{
    Tcl_Size length = 0;
    const char *utf = Tcl_GetStringFromObj(objPtr, &length);
    Tcl_DString wide;
    Tcl_DStringInit(&wide);
    Tcl_UtfToChar16DString(utf, length, &wide);
    WideString out(reinterpret_cast<const WideChar *>(Tcl_DStringValue(&wide)),
	    static_cast<size_t>(Tcl_DStringLength(&wide)) / sizeof(WideChar));
    Tcl_DStringFree(&wide);
    return out;
}

#endif

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
