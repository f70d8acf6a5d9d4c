/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch, ldapsearchgetnextitem and ldapsearchinfo:
 *	the words, the current search, and which failure (core/failures.h)
 *	each outcome of the search and of the results file is.
 */

#include "directory/entryObj.h"
#include "core/base/tclUtf8.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/searchOptions.h"
#include "directory/searchReport.h"
#include "core/hostkit.h"

#include <initializer_list>
#include <memory>
#include <new>
#include <string>

namespace hkdir {

namespace {

/* The command name and at least two option names, each with its value. */
const int LDAPSEARCH_MIN_WORDS = 5;

/* The failure of each code of runDirectorySearch (all negative). */
HkFailure
searchFailure(int code)
{
    switch (code) {
    case HK_SEARCH_BAD_OPTION:
	/* An option value that cannot be used: nothing was sent. */
	return HkFailure::SEARCH_USAGE;
    case HK_SEARCH_NO_USER:
	return HkFailure::SEARCH_NO_USER;
    case HK_SEARCH_NO_CONNECTION:
	return HkFailure::SEARCH_CONNECT;
    case HK_SEARCH_BIND_FAILED:
	return HkFailure::SEARCH_BIND;
    case HK_SEARCH_NO_RESULTS_FILE:
	return HkFailure::SEARCH_RESULTS_FILE;
    case HK_SEARCH_NOT_SECURED:
	return HkFailure::SEARCH_TLS;
    case HK_SEARCH_FAILED:
    default:
	return HkFailure::SEARCH_FAILED;
    }
}

/* The failure of each code of SearchContext::readNextRecord (all negative). */
HkFailure
nextItemFailure(int code)
{
    switch (code) {
    case HK_RESULTS_CANNOT_OPEN:
	return HkFailure::NEXT_ITEM_NO_SEARCH;
    case HK_RESULTS_END:
	return HkFailure::NEXT_ITEM_END;
    case HK_RESULTS_NO_MEMORY:
	return HkFailure::NEXT_ITEM_NO_MEMORY;
    case HK_RESULTS_SHORT_VALUE:
	return HkFailure::NEXT_ITEM_SHORT_VALUE;
    case HK_RESULTS_BAD_LENGTH:
    default:
	return HkFailure::NEXT_ITEM_BAD_LENGTH;
    }
}

} // namespace

} // namespace hkdir

namespace {

using namespace hkdir;

/* What a command ends with, worked out under the directory lock and given to Tcl after it. */
struct Outcome {
    bool ok = true;
    std::string text;		/* the result */
    HkFailure failure = HkFailure::SEARCH_FAILED;
    std::string detail;		/* the errorCode's detail word, if any */
};

Outcome
fail(HkFailure failure)
{
    Outcome outcome;
    outcome.ok = false;
    outcome.failure = failure;
    return outcome;
}

int
finish(Tcl_Interp *interp, const Outcome &outcome)
{
    if (outcome.ok) {
	return hkSetNarrowResult(interp, outcome.text.c_str());
    }
    if (!outcome.detail.empty()) {
	return hkFailWithWord(interp, outcome.failure, outcome.detail.c_str());
    }
    return hkFail(interp, outcome.failure);
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
	return fail(argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0 ? HkFailure::SEARCH_USAGE
		: HkFailure::SEARCH_NO_MEMORY);
    }
    struct Over {
	SearchContext &context;
	~Over() { searchOver(context); }
    } over{*context};

    if (argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0) {
	return fail(HkFailure::SEARCH_USAGE);
    }

    int result;
    bool strict = false;
    try {
	SearchParameters parameters = readSearchOptions(argc - 1, argv + 1);
	strict = parameters.strict;
	result = context->runSearch(std::move(parameters));
    } catch (const std::bad_alloc &) {
	return fail(HkFailure::SEARCH_NO_MEMORY);
    }

    if (result >= 0) {
	std::shared_ptr<const SearchReport> report = context->report();
	if (strict && report != nullptr && !report->complete()) {
	    /* The entries received stay readable. */
	    Outcome outcome = fail(HkFailure::SEARCH_INCOMPLETE);
	    outcome.detail = report->causes().front().word;
	    return outcome;
	}
	Outcome outcome;
	outcome.text = std::to_string(result);
	return outcome;
    }
    return fail(searchFailure(result));
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
	outcome = fail(HkFailure::SEARCH_NO_MEMORY);
    }
    return finish(interp, outcome);
}

/*
 * ldapsearchgetnextitem ?ignored ...?
 *
 * One entry per call; the end of the results is a failure (NEXT_ITEM_END).
 */
extern "C" int
HkLdapSearchGetNextItemCmd(ClientData, Tcl_Interp *interp, int, const char *[])
{
    try {
	Tcl_Obj *entry = nullptr;
	int code = readNext(entry);
	if (code != HK_RESULTS_OK) {
	    return hkFail(interp, nextItemFailure(code));
	}
	Tcl_SetObjResult(interp, entry);
	return TCL_OK;
    } catch (const std::bad_alloc &) {
	return hkFail(interp, HkFailure::NEXT_ITEM_NO_MEMORY);
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
	return hkFail(interp, HkFailure::INFO_USAGE);
    }
    std::shared_ptr<const SearchReport> report;
    {
	DirectoryLock lock;
	std::shared_ptr<SearchContext> context = currentSearch();
	if (context != nullptr && context->state() == SearchContext::State::RUNNING) {
	    return hkFail(interp, HkFailure::INFO_RUNNING);
	}
	if (context != nullptr) {
	    report = context->report();
	}
    }
    if (report == nullptr) {
	return hkFail(interp, HkFailure::INFO_NO_SEARCH);
    }
    try {
	Tcl_SetObjResult(interp, newReportObj(*report));
	return TCL_OK;
    } catch (const std::bad_alloc &) {
	return hkFail(interp, HkFailure::INFO_NO_MEMORY);
    }
}
