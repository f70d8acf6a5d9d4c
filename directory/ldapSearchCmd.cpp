/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch and ldapsearchgetnextitem: the words, the
 *	current search, and the messages and codes that scripts see.
 */

#include "directory/ldapSearchCmd.h"
#include "core/base/tclUtf8.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/base/searchText.h"
#include "directory/directoryState.h"
#include "directory/searchContext.h"
#include "directory/searchOptions.h"
#include "directory/searchReport.h"
#include "core/failureWords.h"
#include "core/hostkit.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

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

/*
 * A name that reads back as itself when it stands bare in a list. Only
 * blanks, backslashes and an opening brace or quote matter to list
 * parsing: names with options such as "cn;lang-en" or
 * "userCertificate;binary" stay as the directory spelled them.
 */
bool
isPlainWord(std::string_view name)
{
    if (name.empty() || name[0] == '{' || name[0] == '"') {
	return false;
    }
    for (unsigned char c : name) {
	if (c <= ' ' || c == '\\') {
	    return false;
	}
    }
    return true;
}

/* Appends the bytes as one list element, quoted the way Tcl quotes it. */
void
appendListElement(std::string &out, const char *bytes, size_t length)
{
    int flags = 0;
    Tcl_Size size = Tcl_ScanCountedElement(bytes, static_cast<Tcl_Size>(length), &flags);
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    Tcl_Size written = Tcl_ConvertCountedElement(bytes, static_cast<Tcl_Size>(length), &buffer[0], flags);
    out.append(buffer.data(), static_cast<size_t>(written));
}

/* An attribute name as a list element: bare when it reads back as itself. */
void
appendName(std::string &out, std::string_view name)
{
    if (isPlainWord(name)) {
	out.append(name.data(), name.size());
    } else {
	appendListElement(out, name.data(), name.size());
    }
}

} // namespace

namespace {

/*
 * Appends the result text of one entry to out and hands each pair, as the
 * text's list parsing gives it back, to onPair(name, value).
 */
template <typename PairFn>
void
visitEntry(const ResultRecord &record, bool allValues, std::string &out, PairFn onPair)
{
    /* Text that is already Tcl's stays where it is; only other bytes are converted. */
    std::string nameCopy, valueCopy;
    auto asText = [](const char *bytes, size_t length, std::string &copy) {
	if (hkIsTclUtf8(bytes, length)) {
	    return std::string_view(bytes, length);
	}
	copy.resize(hkTclUtf8Length(bytes, length));
	copy.resize(hkToTclUtf8(bytes, length, &copy[0]));
	return std::string_view(copy);
    };
    /* Room for the usual entry at once: each pair is its bytes and four more. */
    size_t room = out.size();
    for (const auto &entry : record) {
	room += entry.first.size() + entry.second.first().length() + 4;
    }
    out.reserve(room);
    std::string list;
    for (const auto &entry : record) {
	if (allValues) {
	    std::string_view name = asText(entry.first.data(), entry.first.size(), nameCopy);
	    appendName(out, name);
	    list.clear();
	    for (size_t i = 0; i < entry.second.count(); i++) {
		const AttributeValue &bytes = entry.second[i];
		std::string_view value = asText(bytes.bytes(), bytes.length(), valueCopy);
		if (i > 0) {
		    list += ' ';
		}
		appendListElement(list, value.data(), value.size());
	    }
	    out += ' ';
	    appendListElement(out, list.data(), list.size());
	    out += ' ';
	    onPair(name, std::string_view(list));
	    continue;
	}
	const AttributeValue &bytes = entry.second.first();
	if (memchr(bytes.bytes(), '\0', bytes.length()) != nullptr) {
	    continue;		/* a zero byte inside: left out */
	}
	std::string_view name = asText(entry.first.data(), entry.first.size(), nameCopy);
	std::string_view value = asText(bytes.bytes(), bytes.length(), valueCopy);
	appendName(out, name);
	if (bracesQuoteSafely(value.data(), value.size())) {
	    out.append(" {", 2);
	    out.append(value.data(), value.size());
	    out.append("} ", 2);
	} else {
	    out += ' ';
	    appendListElement(out, value.data(), value.size());
	    out += ' ';
	}
	onPair(name, value);
    }
}

} // namespace

namespace {

/*
 * The attribute names of this thread's latest entries as Tcl objects, shared
 * from entry to entry (the same few names come back with every entry).
 * Tcl objects belong to one thread, so each thread keeps its own; they go
 * when the thread ends.
 */
struct NameObjects {
    static const size_t LIMIT = 64;		/* names kept */
    static const size_t LONGEST = 64;	/* bytes of a name kept */
    std::vector<std::pair<std::string, Tcl_Obj *>> names;

    /*
     * The latest entry's names in key order, each with its object and the
     * start of its pair's text (the name as a list element, then " {"):
     * the next entry usually has the same names.
     */
    struct Latest {
	std::string name;
	Tcl_Obj *obj;
	std::string head;
    };
    std::vector<Latest> latest;
};

Tcl_ThreadDataKey nameObjectsKey;

void
freeNameObjects(ClientData data)
{
    NameObjects *cache = static_cast<NameObjects *>(data);
    for (auto &name : cache->names) {
	Tcl_DecrRefCount(name.second);
    }
    for (auto &name : cache->latest) {
	if (name.obj != nullptr) {
	    Tcl_DecrRefCount(name.obj);
	}
    }
    delete cache;
}

/*
 * A Tcl object of the name: a shared one for the usual names, else a new
 * one. An entry of more names than are kept (a wide entry) bypasses them.
 */
/* This thread's names, made at its first entry; nullptr when memory ran out. */
NameObjects *
threadNameObjects()
{
    NameObjects **slot = static_cast<NameObjects **>(
	    Tcl_GetThreadData(&nameObjectsKey, static_cast<int>(sizeof(NameObjects *))));
    if (*slot == nullptr) {
	*slot = new (std::nothrow) NameObjects;
	if (*slot != nullptr) {
	    Tcl_CreateThreadExitHandler(freeNameObjects, *slot);
	}
    }
    return *slot;
}

Tcl_Obj *
nameObj(std::string_view name, bool wideEntry)
{
    if (wideEntry) {
	return Tcl_NewStringObj(name.data(), static_cast<Tcl_Size>(name.size()));
    }
    NameObjects *cache = threadNameObjects();
    if (cache != nullptr && name.size() <= NameObjects::LONGEST) {
	for (auto &known : cache->names) {
	    if (known.first == name) {
		return known.second;
	    }
	}
    }
    Tcl_Obj *obj = Tcl_NewStringObj(name.data(), static_cast<Tcl_Size>(name.size()));
    if (cache != nullptr && name.size() <= NameObjects::LONGEST
	    && cache->names.size() < NameObjects::LIMIT) {
	try {
	    cache->names.emplace_back(std::string(name), obj);
	    Tcl_IncrRefCount(obj);
	} catch (const std::bad_alloc &) {
	}
    }
    return obj;
}

} // namespace

namespace {

/* The longest text that a Tcl object holds (Tcl 8 counts in int). */
const size_t LONGEST_TCL_TEXT = static_cast<size_t>(std::numeric_limits<Tcl_Size>::max()) - 1;

/* Frees the elements made for a list that is not made after all (shared names stay). */
void
dropElements(Tcl_Obj *const *elements, size_t count)
{
    for (size_t i = 0; i < count; i++) {
	Tcl_IncrRefCount(elements[i]);
	Tcl_DecrRefCount(elements[i]);
    }
}

/*
 * Whether a value stands in braces just as it is, as Tcl text: bytes 01 to
 * 7F other than braces and the backslash. One table look-up per byte.
 */
struct PlainBytes {
    bool plain[256];
    PlainBytes() {
	for (int b = 0; b < 256; b++) {
	    plain[b] = b != 0 && b < 0x80 && b != '{' && b != '}' && b != '\\';
	}
    }
};
const PlainBytes PLAIN_BYTES;

/* Values longer than this take the general way (the text's length stays far from any bound). */
const uint32_t PLAIN_VALUE_LIMIT = 64 * 1024;

bool
isPlainValue(const char *bytes, uint32_t length)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes);
    bool plain = length <= PLAIN_VALUE_LIMIT;
    for (uint32_t i = 0; i < length; i++) {
	plain &= PLAIN_BYTES.plain[p[i]];
    }
    return plain;
}

/*
 * Makes the latest name at position at (at most one past the last) this
 * one, unless it is already. False when the name is longer than the names
 * kept or not Tcl text as it stands. Throws std::bad_alloc when memory
 * runs out, changing nothing.
 */
bool
learnLatestName(NameObjects &cache, size_t at, std::string_view name)
{
    if (at < cache.latest.size() && cache.latest[at].name == name) {
	return true;
    }
    if (at > cache.latest.size() || name.size() > NameObjects::LONGEST
	    || !hkIsTclUtf8(name.data(), name.size())) {
	return false;
    }
    NameObjects::Latest learnt{std::string(name), nullptr, std::string()};
    appendName(learnt.head, name);
    learnt.head.append(" {", 2);
    if (at == cache.latest.size()) {
	cache.latest.emplace_back();
    }
    learnt.obj = nameObj(name, false);
    Tcl_IncrRefCount(learnt.obj);
    std::swap(cache.latest[at], learnt);
    if (learnt.obj != nullptr) {
	Tcl_DecrRefCount(learnt.obj);
    }
    return true;
}

/*
 * The usual entry the quick way: first values only, every value plain and
 * every name Tcl text. The text is written straight into the object's
 * string, each pair as the general way writes a plain value ("name
 * {value} "). nullptr when the entry needs the general way.
 */
Tcl_Obj *
newPlainEntryObj(const ResultRecord &record)
{
    NameObjects *cache = record.size() <= NameObjects::LIMIT ? threadNameObjects() : nullptr;
    if (cache == nullptr) {
	return nullptr;
    }
    size_t length = 0;
    size_t at = 0;
    for (const auto &entry : record) {
	const AttributeValue &value = entry.second.first();
	if (!isPlainValue(value.bytes(), value.length())
		|| !learnLatestName(*cache, at, entry.first)) {
	    return nullptr;
	}
	length += cache->latest[at].head.size() + value.length() + 2;
	at++;
    }

    Tcl_Obj *elements[2 * NameObjects::LIMIT];
    char *text = static_cast<char *>(Tcl_Alloc(static_cast<unsigned>(length + 1)));
    char *p = text;
    size_t count = 0;
    at = 0;
    for (const auto &entry : record) {
	const NameObjects::Latest &name = cache->latest[at++];
	const AttributeValue &value = entry.second.first();
	memcpy(p, name.head.data(), name.head.size());
	p += name.head.size();
	memcpy(p, value.bytes(), value.length());
	p += value.length();
	*p++ = '}';
	*p++ = ' ';
	elements[count++] = name.obj;
	elements[count++] = Tcl_NewStringObj(value.bytes(), static_cast<Tcl_Size>(value.length()));
    }
    *p = '\0';
    Tcl_Obj *list = Tcl_NewListObj(static_cast<Tcl_Size>(count), elements);
    Tcl_InvalidateStringRep(list);
    list->bytes = text;
    list->length = static_cast<Tcl_Size>(length);
    return list;
}

} // namespace

Tcl_Obj *
newEntryObj(const ResultRecord &record, bool allValues)
{
    if (!allValues) {
	if (Tcl_Obj *plain = newPlainEntryObj(record)) {
	    return plain;
	}
    }
    std::string text;
    /* The usual entry's elements fit here; a larger one takes the heap. */
    const size_t IN_PLACE = 32;
    Tcl_Obj *inPlace[IN_PLACE];
    std::vector<Tcl_Obj *> onHeap;
    size_t count = 0;
    bool wide = record.size() > NameObjects::LIMIT;
    try {
	visitEntry(record, allValues, text, [&](std::string_view name, std::string_view value) {
	    if (name.size() > LONGEST_TCL_TEXT || value.size() > LONGEST_TCL_TEXT) {
		throw std::bad_alloc();
	    }
	    /* Room first, so that no element is made that has no place. */
	    bool heap = count + 2 > IN_PLACE;
	    if (heap) {
		if (onHeap.empty()) {
		    onHeap.assign(inPlace, inPlace + count);
		}
		if (onHeap.capacity() < count + 2) {
		    onHeap.reserve(std::max(count + 2, 2 * onHeap.capacity()));
		}
	    }
	    Tcl_Obj *pair[2] = {
		nameObj(name, wide),
		Tcl_NewStringObj(value.data(), static_cast<Tcl_Size>(value.size()))
	    };
	    for (Tcl_Obj *element : pair) {
		if (heap) {
		    onHeap.push_back(element);
		} else {
		    inPlace[count] = element;
		}
		count++;
	    }
	});
	if (text.size() > LONGEST_TCL_TEXT) {
	    throw std::bad_alloc();
	}
    } catch (...) {
	/* An entry that memory or Tcl cannot hold: what was made for it goes. */
	dropElements(onHeap.empty() ? inPlace : onHeap.data(), count);
	throw;
    }
    Tcl_Obj *list = Tcl_NewListObj(static_cast<Tcl_Size>(count), onHeap.empty() ? inPlace
	    : onHeap.data());
    /*
     * The text stays the object's string form, byte for byte, so that it
     * reads as before; the list of pairs behind it spares a script that
     * looks values up (dict get) the parsing of it. (A list, not a
     * dictionary: the module keeps to what every Tcl from 8.4 on offers.)
     */
    Tcl_InvalidateStringRep(list);
    list->bytes = static_cast<char *>(Tcl_Alloc(static_cast<unsigned>(text.size() + 1)));
    memcpy(list->bytes, text.c_str(), text.size() + 1);
    list->length = static_cast<Tcl_Size>(text.size());
    return list;
}

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
    int code = context->readNextRecord(record);
    if (code == HK_RESULTS_OK) {
	entry = newEntryObj(record, context->allValues());
    }
    record.clear();
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
