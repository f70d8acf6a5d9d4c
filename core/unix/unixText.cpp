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

static_assert(sizeof(Tcl_UniChar) == sizeof(WideChar), "Hostkit needs a Tcl with 16-bit Tcl_UniChar");

std::string
HkpWideToNative(const WideString &text)
{
    Tcl_DString utf, ds;
    Tcl_DStringInit(&utf);
    Tcl_UniCharToUtfDString(reinterpret_cast<const Tcl_UniChar *>(text.data()), static_cast<int>(text.size()), &utf);
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
    Tcl_ExternalToUtfDString(nullptr, text.data(), static_cast<int>(text.size()), &utf);
    Tcl_DStringInit(&ds);
    Tcl_UtfToUniCharDString(Tcl_DStringValue(&utf), Tcl_DStringLength(&utf), &ds);
    WideString out(reinterpret_cast<const WideChar *>(Tcl_DStringValue(&ds)),
	    static_cast<size_t>(Tcl_DStringLength(&ds)) / sizeof(Tcl_UniChar));
    Tcl_DStringFree(&ds);
    Tcl_DStringFree(&utf);
    return out;
}
