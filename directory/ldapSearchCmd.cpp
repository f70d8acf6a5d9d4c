/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch and ldapsearchgetnextitem: the words, the
 *	current search, and the messages and codes that scripts see.
 */

#include "directory/entryObj.h"
#include "core/base/tclUtf8.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/searchOptions.h"
#include "directory/searchReport.h"
#include "core/failureWords.h"
#include "core/hostkit.h"

#include <initializer_list>
#include <memory>
#include <new>
#include <string>

namespace hkdir {

namespace {

/* Failure codes of ldapsearch beside those of runDirectorySearch. */
enum {
    LDAPSEARCH_USAGE = -10,
    LDAPSEARCH_NO_MEMORY = -700,
    LDAPSEARCH_INCOMPLETE = -900	/* strict: the search is not complete */
};

/* Failure codes of ldapsearchinfo. */
enum {
    INFO_USAGE = -10,
    INFO_NO_SEARCH = -20,	/* no search, or the last one did not begin */
    INFO_RUNNING = -30		/* another thread still runs the search */
};

/* The command name and at least two option names, each with its value. */
const int LDAPSEARCH_MIN_WORDS = 5;

const char USAGE_TEXT[] =
    "Usage: ldapsearch optionname optionvalue .... where\n\toptionname = server port searchBase "
    "searchFilter userdn password searchpab desiredattributes";
const char NO_MEMORY_TEXT[] = "Not enough memory";
const char NEXT_ITEM_FAILED_TEXT[] = "Operation failed";
const char INCOMPLETE_TEXT[] = "Search results are not complete : see ldapsearchinfo";
const char INFO_USAGE_TEXT[] = "Usage: ldapsearchinfo";
const char INFO_NO_SEARCH_TEXT[] = "No search to report on : run ldapsearch first";
const char INFO_RUNNING_TEXT[] = "The search is still running : try again when it is over";

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
    std::string detail;		/* the errorCode's detail word, if any */
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
    if (!outcome.detail.empty()) {
	hkFailureDetailText(outcome.detail.c_str());
    }
    if (!outcome.hasMessage) {
	return hkFailCode(interp, outcome.code);
    }
    return hkFailNarrow(interp, outcome.text.c_str(), outcome.code);
}

/* Marks the context's search as over, under the directory lock. */
void
searchOver(SearchContext &context)
{
    DirectoryLock lock;
    context.setState(SearchContext::State::DONE);
}

/*
 * The search itself. The previous search and its file go first, under the
 * directory lock, before the words are looked at: even a usage error leaves
 * a new, empty current search. The search then runs without the lock, so
 * that other threads' directory commands need not wait for the server.
 * Memory running out anywhere in the search is "Not enough memory".
 */
Outcome
search(int argc, const char *argv[])
{
    std::shared_ptr<SearchContext> context;
    {
	DirectoryLock lock;
	try {
	    context = replaceCurrentSearch();
	    context->setState(SearchContext::State::RUNNING);
	} catch (const std::bad_alloc &) {
	}
    }
    if (context == nullptr) {
	return argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0 ? fail(USAGE_TEXT, LDAPSEARCH_USAGE)
		: fail(NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }
    struct Over {
	SearchContext &context;
	~Over() { searchOver(context); }
    } over{*context};

    if (argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0) {
	return fail(USAGE_TEXT, LDAPSEARCH_USAGE);
    }

    int result;
    bool strict = false;
    try {
	SearchParameters parameters = readSearchOptions(argc - 1, argv + 1);
	strict = parameters.strict;
	result = context->runSearch(std::move(parameters));
    } catch (const std::bad_alloc &) {
	return fail(NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }

    if (result >= 0) {
	std::shared_ptr<const SearchReport> report = context->report();
	if (strict && report != nullptr && !report->complete()) {
	    /* The entries received stay readable. */
	    Outcome outcome = fail(INCOMPLETE_TEXT, LDAPSEARCH_INCOMPLETE);
	    outcome.detail = report->causes().front().word;
	    return outcome;
	}
	Outcome outcome;
	outcome.text = std::to_string(result);
	return outcome;
    }
    if (result == HK_SEARCH_BAD_OPTION) {
	/* An option value that cannot be used: nothing was sent. */
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
 * from entry to entry). A search that another thread still runs has
 * nothing to read yet.
 */
int
readNext(Tcl_Obj *&entry)
{
    DirectoryLock lock;
    std::shared_ptr<SearchContext> context = currentSearch();
    if (context == nullptr || context->state() != SearchContext::State::DONE) {
	return HK_RESULTS_CANNOT_OPEN;
    }
    ResultRecord &record = context->scratchRecord();
    /* The entry goes whatever happens, a failure to make its object included. */
    struct Clear {
	ResultRecord &record;
	~Clear() { record.clear(); }
    } clear{record};
    int code = context->readNextRecord(record);
    if (code == HK_RESULTS_OK) {
	entry = newEntryObj(record, context->allValues());
    }
    return code;
}

/* A list element of the pairs: a name and a value. */
void
appendPair(Tcl_Obj *list, const char *name, Tcl_Obj *value)
{
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(name, -1));
    Tcl_ListObjAppendElement(nullptr, list, value);
}

/* Text of the search (server names, DNs, messages) as Tcl text. */
Tcl_Obj *
newTextObj(const std::string &text)
{
    if (hkIsTclUtf8(text.data(), text.size())) {
	return Tcl_NewStringObj(text.data(), static_cast<Tcl_Size>(text.size()));
    }
    std::string converted(hkTclUtf8Length(text.data(), text.size()), '\0');
    converted.resize(hkToTclUtf8(text.data(), text.size(), &converted[0]));
    return Tcl_NewStringObj(converted.data(), static_cast<Tcl_Size>(converted.size()));
}

/* A list of texts. */
Tcl_Obj *
newTextListObj(std::initializer_list<const std::string *> texts)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const std::string *text : texts) {
	Tcl_ListObjAppendElement(nullptr, list, newTextObj(*text));
    }
    return list;
}

/*
 * What ldapsearchinfo returns: the report as a list of pairs (Tcl 8.4's
 * stubs table has no dictionaries; the text is a valid dictionary).
 */
Tcl_Obj *
newReportObj(const SearchReport &report)
{
    Tcl_Obj *info = Tcl_NewListObj(0, nullptr);
    appendPair(info, "entries", Tcl_NewIntObj(report.entries()));
    appendPair(info, "items", Tcl_NewIntObj(report.items()));
    appendPair(info, "complete", Tcl_NewIntObj(report.complete() ? 1 : 0));
    Tcl_Obj *causes = Tcl_NewListObj(0, nullptr);
    for (const IncompleteCause &cause : report.causes()) {
	Tcl_ListObjAppendElement(nullptr, causes, cause.word == "REFERRAL"
		? newTextListObj({&cause.word, &cause.url, &cause.text})
		: newTextListObj({&cause.word, &cause.text}));
    }
    appendPair(info, "incomplete", causes);
    appendPair(info, "server", newTextObj(report.server()));
    Tcl_Obj *referrals = Tcl_NewListObj(0, nullptr);
    for (const ReferralFate &referral : report.referrals()) {
	Tcl_ListObjAppendElement(nullptr, referrals,
		newTextListObj({&referral.url, &referral.fate, &referral.text}));
    }
    appendPair(info, "referrals", referrals);
    Tcl_Obj *messages = Tcl_NewListObj(0, nullptr);
    for (const std::string &message : report.messages()) {
	Tcl_ListObjAppendElement(nullptr, messages, newTextObj(message));
    }
    appendPair(info, "messages", messages);
    return info;
}

} // namespace

/*
 * ldapsearch optionname optionvalue optionname optionvalue ?...?
 *
 * The search runs without the directory lock; the result goes to Tcl after
 * it.
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

/*
 * ldapsearchinfo
 *
 * How the current search ended. The report does not change once the
 * search is over, so it is read after the lock is let go.
 */
extern "C" int
HkLdapSearchInfoCmd(ClientData, Tcl_Interp *interp, int argc, const char *[])
{
    if (argc != 1) {
	return hkFailNarrow(interp, INFO_USAGE_TEXT, INFO_USAGE);
    }
    std::shared_ptr<const SearchReport> report;
    {
	DirectoryLock lock;
	std::shared_ptr<SearchContext> context = currentSearch();
	if (context != nullptr && context->state() == SearchContext::State::RUNNING) {
	    return hkFailNarrow(interp, INFO_RUNNING_TEXT, INFO_RUNNING);
	}
	if (context != nullptr) {
	    report = context->report();
	}
    }
    if (report == nullptr) {
	return hkFailNarrow(interp, INFO_NO_SEARCH_TEXT, INFO_NO_SEARCH);
    }
    try {
	Tcl_SetObjResult(interp, newReportObj(*report));
	return TCL_OK;
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, NO_MEMORY_TEXT, INFO_NO_SEARCH);
    }
}
