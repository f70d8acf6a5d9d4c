/*
 * hostkit.h --
 *
 *	Shared declarations of the Hostkit package: wide text, the command
 *	conventions that every command procedure follows, and the command
 *	procedures that the command table registers.
 *
 *	Conventions, in one place:
 *	- string commands get Tcl's own (UTF-8) words and use them as bytes;
 *	- object commands read their words as UTF-16 with hkWideArg;
 *	- narrow results go through Tcl_SetResult with TCL_VOLATILE, wide ones
 *	  through hkNewWideObj/Tcl_SetObjResult;
 *	- a failure is: message (if any), then Tcl_SetErrno(code), then
 *	  TCL_ERROR; the command table adds the errorCode list afterwards
 *	  (core/failureWords.h).
 */

#ifndef HOSTKIT_H
#define HOSTKIT_H

#include <tcl.h>

#include "core/base/wideText.h"

/*
 * Lengths that Tcl hands back: Tcl_Size, which Tcl 9 makes ptrdiff_t wide.
 * Tcl 8 counts in int; headers before 8.6.14 lack the name.
 */
#if TCL_MAJOR_VERSION < 9 && !defined(TCL_SIZE_MAX)
typedef int Tcl_Size;
#endif

#include <cstddef>
#include <cstdint>

/* Package identity: name and version come from the build (project() in CMakeLists.txt). */
#include "core/hostkitVersion.h"
#define HOSTKIT_VERSION_VAR "hostkit_version"

/*
 * Wide text at the Tcl boundary.
 */

/* The word's text as UTF-16 (Tcl 8: Tcl_GetUnicodeFromObj; Tcl 9: through
 * Tcl_UtfToChar16DString, characters outside the BMP as surrogate pairs). */
WideString hkWideArg(Tcl_Obj *objPtr);

/* A new Tcl object holding the wide text. */
Tcl_Obj *hkNewWideObj(const WideString &text);

/*
 * Results. Each returns TCL_OK so that a command can end with
 * "return hkSetNarrowResult(...)".
 */
int hkSetNarrowResult(Tcl_Interp *interp, const char *text);
int hkSetWideResult(Tcl_Interp *interp, const WideString &text);

/*
 * Failures. Each sets the message (where there is one), stores the code with
 * Tcl_SetErrno as the very last step and returns TCL_ERROR.
 */
int hkFailNarrow(Tcl_Interp *interp, const char *message, int code);
int hkFailWide(Tcl_Interp *interp, const WideString &message, int code);
int hkFailCode(Tcl_Interp *interp, int code);	/* no message: result unchanged */

/*
 * The command procedures. Kind (string or object) is fixed by the command
 * table in hostkitInit.cpp.
 */
extern "C" {
int HkFileGetVersionObjCmd(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int HkTerminateProcessCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkGetProcessListCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkLdapSearchCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkLdapSearchGetNextItemCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkLdapEncryptPasswordCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkLdapDecryptPasswordCmd(ClientData, Tcl_Interp *, int, const char *[]);
int HkFileSetMtimeObjCmd(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int HkExecProcessObjCmd(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int HkGetTempFileNameObjCmd(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int HkLdapSearchInfoCmd(ClientData, Tcl_Interp *, int, const char *[]);
}

#endif /* HOSTKIT_H */
