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
 *	- a failure is one call of hkFail (or its kin) with the failure's
 *	  name (core/failures.h), at the place where the command fails: it
 *	  sets the message, the errorCode list and, last, the code.
 */

#ifndef HOSTKIT_H
#define HOSTKIT_H

#include <tcl.h>

#include "core/base/wideText.h"
#include "core/failures.h"

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
 * Failures. Each sets everything a script and the embedding application see
 * of the failure, in this order: the message (the table's, each "%s" filled
 * in with the next of parts; a failure without a message leaves the result
 * as it is), the errorCode list {HOSTKIT command code WORD ?detail?}, and
 * the code with Tcl_SetErrno, last. Each returns TCL_ERROR, so that a
 * command can end with "return hkFail(...)".
 */
int hkFail(Tcl_Interp *interp, HkFailure failure, std::initializer_list<WideString> parts = {});

/* With a number as the errorCode's detail (a system error number, a process id). */
int hkFailWithDetail(Tcl_Interp *interp, HkFailure failure, long long detail,
	std::initializer_list<WideString> parts = {});

/* With a word as the errorCode's detail (an incomplete search's first cause). */
int hkFailWithWord(Tcl_Interp *interp, HkFailure failure, const char *word);

/*
 * A failure whose code is not fixed (a system error number, an exit code):
 * the code as given, with the number as the errorCode's detail. For a
 * failure whose code is fixed the table's code stands and `code` is not
 * looked at.
 */
int hkFailWithCode(Tcl_Interp *interp, HkFailure failure, int code, long long detail,
	std::initializer_list<WideString> parts = {});

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
