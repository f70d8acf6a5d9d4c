/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch and ldapsearchgetnextitem: the words, the
 *	current search, and the messages and codes that scripts see.
 */

#include "directory/entryObj.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/searchOptions.h"
#include "core/hostkit.h"

#include <new>
#include <string>

namespace hkdir {

namespace {

/* Failure codes of ldapsearch beside those of runDirectorySearch. */
enum {
    LDAPSEARCH_USAGE = -10,
    LDAPSEARCH_NO_MEMORY = -700
};

/* The command name and at least two option names, each with its value. */
const int LDAPSEARCH_MIN_WORDS = 5;

const char USAGE_TEXT[] =
    "Usage: ldapsearch optionname optionvalue .... where\n\toptionname = server port searchBase "
    "searchFilter userdn password searchpab desiredattributes";
const char NO_MEMORY_TEXT[] = "Not enough memory";
const char NEXT_ITEM_FAILED_TEXT[] = "Operation failed";

/* The message of each failure code of runDirectorySearch. */
const struct {
    int code;
    const char *message;
} SEARCH_FAILURES[] = {
    {HK_SEARCH_NO_USER, "Username not specified but password specified"},
    {HK_SEARCH_FAILED, "LDAP search failed : please verify search base and filter"},
    {HK_SEARCH_NO_CONNECTION, "Could not open LDAP connection : please verify server and port"},
    {HK_SEARCH_BIND_FAILED, "LDAP authentication failed : please verify username and password. "
	    "Username should be fully qualified DN"},
    {HK_SEARCH_NO_RESULTS_FILE, "Could not local file for writing results"},
    {HK_SEARCH_NOT_SECURED, "Could not secure LDAP connection : please verify the server's "
	    "certificate, its name and the secure option"},
};

} // namespace

} // namespace hkdir

namespace {

using namespace hkdir;

/* What a command ends with, worked out under the directory lock and given to Tcl after it. */
struct Outcome {
    bool ok = true;
    std::string text;		/* the result, or the message of a failure */
    bool hasMessage = true;
    int code = 0;
};

Outcome
fail(const char *message, int code)
{
    Outcome outcome;
    outcome.ok = false;
    outcome.text = message;
    outcome.code = code;
    return outcome;
}

int
finish(Tcl_Interp *interp, const Outcome &outcome)
{
    if (outcome.ok) {
	return hkSetNarrowResult(interp, outcome.text.c_str());
    }
    if (!outcome.hasMessage) {
	return hkFailCode(interp, outcome.code);
    }
    return hkFailNarrow(interp, outcome.text.c_str(), outcome.code);
}

/*
 * The search itself, under the directory lock. The previous search and its
 * file go first, before the words are looked at; even a usage error leaves
 * a new, empty current search. Memory running out anywhere in the search
 * is "Not enough memory".
 */
Outcome
search(int argc, const char *argv[])
{
    using namespace hkdir;

    DirectoryLock lock;
    SearchContext *context = nullptr;
    try {
	context = &replaceCurrentSearch();
    } catch (const std::bad_alloc &) {
    }

    if (argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0) {
	return fail(USAGE_TEXT, LDAPSEARCH_USAGE);
    }
    if (context == nullptr) {
	return fail(NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }

    int result;
    try {
	result = context->runSearch(readSearchOptions(argc - 1, argv + 1));
    } catch (const std::bad_alloc &) {
	return fail(NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }

    if (result >= 0) {
	Outcome outcome;
	outcome.text = std::to_string(result);
	return outcome;
    }
    if (result == HK_SEARCH_BAD_OPTION) {
	/* A value of secure or timeout that cannot be used: nothing was sent. */
	return fail(USAGE_TEXT, LDAPSEARCH_USAGE);
    }
    for (const auto &failure : SEARCH_FAILURES) {
	if (failure.code == result) {
	    return fail(failure.message, result);
	}
    }
    Outcome outcome = fail("", result);
    outcome.hasMessage = false;
    return outcome;
}

/*
 * The next entry of the current search as the command's result object,
 * read and made under the directory lock (the context's record is reused
 * from entry to entry).
 */
int
readNext(Tcl_Obj *&entry)
{
    using namespace hkdir;

    DirectoryLock lock;
    SearchContext *context = currentSearch();
    if (context == nullptr) {
	return HK_RESULTS_CANNOT_OPEN;
    }
    ResultRecord &record = context->scratchRecord();
    int code = context->readNextRecord(record);
    if (code == HK_RESULTS_OK) {
	entry = newEntryObj(record, context->allValues());
    }
    record.clear();
    return code;
}

} // namespace

/*
 * ldapsearch optionname optionvalue optionname optionvalue ?...?
 *
 * Commands of all threads take turns: a search runs whole under the
 * directory lock, and the result goes to Tcl after it is let go.
 */
extern "C" int
HkLdapSearchCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Outcome outcome;
    try {
	outcome = search(argc, argv);
    } catch (const std::bad_alloc &) {
	outcome = fail(NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }
    return finish(interp, outcome);
}

/*
 * ldapsearchgetnextitem ?ignored ...?
 *
 * One entry per call; the end of the results is the failure -20.
 */
extern "C" int
HkLdapSearchGetNextItemCmd(ClientData, Tcl_Interp *interp, int, const char *[])
{
    using namespace hkdir;

    try {
	Tcl_Obj *entry = nullptr;
	int code = readNext(entry);
	if (code != HK_RESULTS_OK) {
	    return hkFailNarrow(interp, NEXT_ITEM_FAILED_TEXT, code);
	}
	Tcl_SetObjResult(interp, entry);
	return TCL_OK;
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, NEXT_ITEM_FAILED_TEXT, HK_RESULTS_NO_MEMORY);
    }
}
