/*
 * unixText.cpp --
 *
 *	Conversion of wide text to and from the native form on Unix.
 *
 *	Native text is what Tcl itself hands the system for file names,
 *	program arguments and the like: its internal UTF-8 converted to the
 *	system encoding. So a name that Tcl's own file commands reach is the
 *	same name here, whatever the locale, and a character outside the BMP
 *	becomes one four-byte UTF-8 sequence rather than two encoded halves.
 *	This is the one platform file that calls Tcl: the conversion must be
 *	Tcl's own.
 */

#include "core/unix/unixText.h"

#include <tcl.h>

/*
 * Tcl's internal UTF-8 to and from UTF-16 with the calls each Tcl has: the
 * Tcl_UniChar ones in Tcl 8 (16-bit there), the Char16 ones in Tcl 9 (whose
 * Tcl_UniChar is 32-bit). Both append to an initialised DString.
 */
#if TCL_MAJOR_VERSION < 9
static_assert(sizeof(Tcl_UniChar) == sizeof(WideChar), "a Tcl 8 build needs a Tcl with 16-bit Tcl_UniChar");
typedef Tcl_UniChar TclUtf16Unit;
typedef int TclLength;
#define HK_UTF16_TO_UTF Tcl_UniCharToUtfDString
#define HK_UTF_TO_UTF16 Tcl_UtfToUniCharDString
#else
static_assert(sizeof(unsigned short) == sizeof(WideChar), "Tcl's 16-bit text is unsigned short");
typedef unsigned short TclUtf16Unit;
typedef Tcl_Size TclLength;
#define HK_UTF16_TO_UTF Tcl_Char16ToUtfDString
#define HK_UTF_TO_UTF16 Tcl_UtfToChar16DString
#endif

std::string
HkpWideToNative(const WideString &text)
{
    Tcl_DString utf, ds;
    Tcl_DStringInit(&utf);
    HK_UTF16_TO_UTF(reinterpret_cast<const TclUtf16Unit *>(text.data()), static_cast<TclLength>(text.size()), &utf);
    Tcl_UtfToExternalDString(nullptr, Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), &ds);
    std::string out(Tcl_DStringValue(&ds), static_cast<size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    Tcl_DStringFree(&utf);
    return out;
}

WideString
HkpNativeToWide(const std::string &text)
{
    Tcl_DString utf, ds;
    Tcl_ExternalToUtfDString(nullptr, text.data(), static_cast<TclLength>(text.size()), &utf);
    Tcl_DStringInit(&ds);
    HK_UTF_TO_UTF16(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), &ds);
    WideString out(reinterpret_cast<const WideChar *>(Tcl_DStringValue(&ds)),
	    static_cast<size_t>(Tcl_DStringLength(&ds)) / sizeof(TclUtf16Unit));
    Tcl_DStringFree(&ds);
    Tcl_DStringFree(&utf);
    return out;
}
