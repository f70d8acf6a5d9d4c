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
 * Every failure comes here. The code is stored last, so that nothing that
 * runs while the message and the errorCode are set can disturb it before
 * the caller reads Tcl_GetErrno.
 */
namespace {

int
fail(Tcl_Interp *interp, HkFailure failure, int code, Tcl_Obj *detail,
	std::initializer_list<WideString> parts)
{
    const HkFailureInfo &info = hkFailureInfo(failure);
    if (info.kind == HkCodeKind::FIXED) {
	code = info.code;
    }
    if (info.message != nullptr) {
	Tcl_SetObjResult(interp, hkNewWideObj(hkFailureMessage(failure, parts)));
    }
    Tcl_Obj *items[5];
    int count = 0;
    items[count++] = Tcl_NewStringObj("HOSTKIT", -1);
    items[count++] = Tcl_NewStringObj(info.command, -1);
    items[count++] = Tcl_NewIntObj(code);
    items[count++] = Tcl_NewStringObj(info.word, -1);
    if (detail != nullptr) {
	items[count++] = detail;
    }
    Tcl_SetObjErrorCode(interp, Tcl_NewListObj(count, items));
    Tcl_SetErrno(code);
    return TCL_ERROR;
}

} // namespace

int
hkFail(Tcl_Interp *interp, HkFailure failure, std::initializer_list<WideString> parts)
{
    return fail(interp, failure, 0, nullptr, parts);
}

int
hkFailWithDetail(Tcl_Interp *interp, HkFailure failure, long long detail,
	std::initializer_list<WideString> parts)
{
    return fail(interp, failure, 0, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(detail)), parts);
}

int
hkFailWithWord(Tcl_Interp *interp, HkFailure failure, const char *word)
{
    return fail(interp, failure, 0, Tcl_NewStringObj(word, -1), {});
}

int
hkFailWithCode(Tcl_Interp *interp, HkFailure failure, int code, long long detail,
	std::initializer_list<WideString> parts)
{
    return fail(interp, failure, code, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(detail)), parts);
}
