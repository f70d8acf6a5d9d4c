/*
 * failureWords.cpp --
 *
 *	The errorCode words of every command's failure codes, and the
 *	errorCode list itself (see failureWords.h). Keep this table and
 *	README.md's "errorCode words" table in step: tests/unit/failureWordsTest.cpp
 *	compares them.
 */

#include "core/failureWords.h"

#include <cstring>
#include <string>

const HkFailureWord HK_FAILURE_WORDS[] = {
    {"terminateprocess", -10, "USAGE"},
    {"terminateprocess", -20, "OPEN"},
    {"terminateprocess", -30, "TERMINATE"},
    {"terminateprocess", -40, "PROCESSID"},
    {"ldapsearch", -10, "USAGE"},
    {"ldapsearch", -200, "NOUSER"},
    {"ldapsearch", -300, "SEARCH"},
    {"ldapsearch", -400, "CONNECT"},
    {"ldapsearch", -500, "BIND"},
    {"ldapsearch", -600, "RESULTSFILE"},
    {"ldapsearch", -700, "NOMEMORY"},
    {"ldapsearch", -800, "TLS"},
    {"ldapsearch", -900, "INCOMPLETE"},
    {"ldapsearchgetnextitem", -10, "NOSEARCH"},
    {"ldapsearchgetnextitem", -20, "END"},
    {"ldapsearchgetnextitem", -30, "DAMAGED"},
    {"ldapsearchgetnextitem", -40, "NOMEMORY"},
    {"ldapsearchgetnextitem", -50, "DAMAGED"},
    {"ldapsearchinfo", -10, "USAGE"},
    {"ldapsearchinfo", -20, "NOSEARCH"},
    {"ldapsearchinfo", -30, "RUNNING"},
    {"ldapencryptpassword", -10, "USAGE"},
    {"ldapencryptpassword", -20, "NOMEMORY"},
    {"ldapdecryptpassword", -10, "USAGE"},
    {"ldapdecryptpassword", -20, "NOMEMORY"},
    {"filegetversion", -10, "USAGE"},
    {"filegetversion", -20, "NOVERSION"},
    {"filegetversion", -30, "NOATTRIBUTE"},
    {"filesetmtime", -10, "USAGE"},
    {"filesetmtime", -20, "TIME"},
    {"filesetmtime", -30, "OPEN"},
    {"filesetmtime", -40, "SETTIME"},
    {"getprocesslist", -10, "SNAPSHOT"},
    {"getprocesslist", -20, "WALK"},
    {"execprocess", -10, "USAGE"},
    {"execprocess", -1, "WAIT"},
    {"execprocess", -20, "TOOLARGE"},
    {"execprocess", -30, "CAPTURE"},
    {"execprocess", -40, "READ"},
    {"gettempfilename", -20, "TEMPFILE"},
};

const size_t HK_FAILURE_WORD_COUNT = sizeof HK_FAILURE_WORDS / sizeof HK_FAILURE_WORDS[0];

namespace {

/* What the running command said of its failure; per thread, as interpreters are. */
struct Detail {
    const char *word = nullptr;
    bool hasDetail = false;
    long long detail = 0;
    std::string text;		/* a detail that is a word, when not empty */
};

thread_local Detail pending;

} // namespace

const char *
hkFailureWord(const char *command, int code)
{
    for (const HkFailureWord &entry : HK_FAILURE_WORDS) {
	if (entry.code == code && strcmp(entry.command, command) == 0) {
	    return entry.word;
	}
    }
    return nullptr;
}

void
hkFailureDetail(const char *word, long long detail)
{
    pending.word = word;
    pending.hasDetail = true;
    pending.detail = detail;
}

void
hkFailureDetailText(const char *text)
{
    pending.text = text;
}

void
hkClearFailureDetail(void)
{
    pending = Detail();
}

void
hkSetFailureErrorCode(Tcl_Interp *interp, const char *command)
{
    int code = Tcl_GetErrno();
    const char *word = pending.word != nullptr ? pending.word : hkFailureWord(command, code);
    Tcl_Obj *items[6];
    int count = 0;
    items[count++] = Tcl_NewStringObj("HOSTKIT", -1);
    items[count++] = Tcl_NewStringObj(command, -1);
    items[count++] = Tcl_NewIntObj(code);
    items[count++] = Tcl_NewStringObj(word != nullptr ? word : "ERROR", -1);
    if (pending.hasDetail) {
	items[count++] = Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(pending.detail));
    }
    if (!pending.text.empty()) {
	items[count++] = Tcl_NewStringObj(pending.text.c_str(), -1);
    }
    Tcl_SetObjErrorCode(interp, Tcl_NewListObj(count, items));
    hkClearFailureDetail();
    /* The code stays the last thing stored, as callers of Tcl_GetErrno expect. */
    Tcl_SetErrno(code);
}
