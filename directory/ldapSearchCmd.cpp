/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch and ldapsearchgetnextitem: the words, the
 *	current search, and the messages and codes that scripts see.
 */

#include "directory/ldapSearchCmd.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/base/searchText.h"
#include "directory/searchContext.h"
#include "directory/searchOptions.h"
#include "core/hostkit.h"

#include <cstring>
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

/*
 * A name that reads back as itself when it stands bare in a list. Only
 * blanks, backslashes and an opening brace or quote matter to list
 * parsing: names with options such as "cn;lang-en" or
 * "userCertificate;binary" stay as the directory spelled them.
 */
bool
isPlainWord(const std::string &name)
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
    int size = Tcl_ScanCountedElement(bytes, static_cast<int>(length), &flags);
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    int written = Tcl_ConvertCountedElement(bytes, static_cast<int>(length), &buffer[0], flags);
    out.append(buffer.data(), static_cast<size_t>(written));
}

} // namespace

void
formatEntryText(const ResultRecord &record, std::string &out)
{
    for (const auto &entry : record) {
	const AttributeValue &value = *entry.second;
	if (strlen(value.bytes()) != value.length()) {
	    continue;		/* a zero byte inside: left out */
	}
	if (isPlainWord(entry.first)) {
	    out += entry.first;
	} else {
	    appendListElement(out, entry.first.data(), entry.first.size());
	}
	if (bracesQuoteSafely(value.bytes(), value.length())) {
	    out += " {";
	    out.append(value.bytes(), value.length());
	    out += "} ";
	} else {
	    out += ' ';
	    appendListElement(out, value.bytes(), value.length());
	    out += ' ';
	}
    }
}

} // namespace hkdir

/*
 * ldapsearch optionname optionvalue optionname optionvalue ?...?
 *
 * The previous search and its file go first, before the words are looked
 * at; even a usage error leaves a new, empty current search. Memory
 * running out anywhere in the search is "Not enough memory".
 */
extern "C" int
HkLdapSearchCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    using namespace hkdir;

    SearchContext *context = nullptr;
    try {
	context = &replaceCurrentSearch();
    } catch (const std::bad_alloc &) {
    }

    if (argc < LDAPSEARCH_MIN_WORDS || argc % 2 == 0) {
	return hkFailNarrow(interp, USAGE_TEXT, LDAPSEARCH_USAGE);
    }
    if (context == nullptr) {
	return hkFailNarrow(interp, NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }

    int result;
    try {
	result = context->runSearch(readSearchOptions(argc - 1, argv + 1));
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, NO_MEMORY_TEXT, LDAPSEARCH_NO_MEMORY);
    }

    if (result >= 0) {
	return hkSetNarrowResult(interp, std::to_string(result).c_str());
    }
    if (result == HK_SEARCH_BAD_OPTION) {
	/* A value of secure or timeout that cannot be used: nothing was sent. */
	return hkFailNarrow(interp, USAGE_TEXT, LDAPSEARCH_USAGE);
    }
    for (const auto &failure : SEARCH_FAILURES) {
	if (failure.code == result) {
	    return hkFailNarrow(interp, failure.message, result);
	}
    }
    return hkFailCode(interp, result);
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

    SearchContext *context = currentSearch();
    if (context == nullptr) {
	return hkFailNarrow(interp, NEXT_ITEM_FAILED_TEXT, HK_RESULTS_CANNOT_OPEN);
    }
    try {
	ResultRecord record;
	int code = context->readNextRecord(record);
	if (code != HK_RESULTS_OK) {
	    return hkFailNarrow(interp, NEXT_ITEM_FAILED_TEXT, code);
	}
	std::string text;
	formatEntryText(record, text);
	return hkSetNarrowResult(interp, text.c_str());
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, NEXT_ITEM_FAILED_TEXT, HK_RESULTS_NO_MEMORY);
    }
}
