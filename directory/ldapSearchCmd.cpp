/*
 * ldapSearchCmd.cpp --
 *
 *	The commands ldapsearch and ldapsearchgetnextitem.
 */

#include "directory/ldapSearchCmd.h"
#include "directory/resultRecord.h"
#include "directory/resultsFile.h"
#include "directory/searchContext.h"
#include "directory/searchDriver.h"
#include "core/hostkit.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char usageText[] =
    "Usage: ldapsearch optionname optionvalue .... where\n\toptionname = server port searchBase "
    "searchFilter userdn password searchpab desiredattributes";

const char defaultAttributes[] = "cn givenname middleinitial sn telephonenumber mail mobile";

/* The options, in the order in which a word is compared with them. */
enum OptionIndex {
    OPT_SERVER, OPT_PORT, OPT_SEARCH_BASE, OPT_SEARCH_FILTER, OPT_USERNAME, OPT_PASSWORD,
    OPT_ENCRYPTED_PASSWORD, OPT_SEARCH_PAB, OPT_DESIRED_ATTRIBUTES, OPT_COUNT
};

const char *const optionNames[OPT_COUNT] = {
    "server", "port", "searchBase", "searchFilter", "username", "password",
    "encryptedpassword", "searchPAB", "desiredAttributes"
};

/*
 * A name that reads back as itself when it stands bare in a list. Only
 * blanks, backslashes and an opening brace or quote matter to list
 * parsing: names with options such as "cn;lang-en" or
 * "userCertificate;binary" stay as the directory spelled them.
 */
bool
PlainWord(const std::string &name)
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

void
AppendElement(std::string &out, const char *bytes, size_t length)
{
    int flags = 0;
    int size = Tcl_ScanCountedElement(bytes, static_cast<int>(length), &flags);
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    int written = Tcl_ConvertCountedElement(bytes, static_cast<int>(length), &buffer[0], flags);
    out.append(buffer.data(), static_cast<size_t>(written));
}

} // namespace

void
hkFormatRecord(const ResultRecord &record, std::string &out)
{
    for (const auto &entry : record) {
	const AttributeValue &value = *entry.second;
	if (strlen(value.bytes()) != value.length()) {
	    continue;		/* a zero byte inside: left out */
	}
	if (PlainWord(entry.first)) {
	    out += entry.first;
	} else {
	    AppendElement(out, entry.first.data(), entry.first.size());
	}
	if (hkBracesQuoteSafely(value.bytes(), value.length())) {
	    out += " {";
	    out.append(value.bytes(), value.length());
	    out += "} ";
	} else {
	    out += ' ';
	    AppendElement(out, value.bytes(), value.length());
	    out += ' ';
	}
    }
}

/*
 * ldapsearch optionname optionvalue optionname optionvalue ?...?
 *
 * The previous search and its file go first, before the words are looked
 * at. Option names match case-blind, the last occurrence wins, unknown
 * names are skipped with their values.
 */
extern "C" int
HkLdapSearchCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    hkDestroyCurrentSearch();
    SearchContext *context = hkNewCurrentSearch();

    if (argc < 4 || argc % 2 == 0) {
	return hkFailNarrow(interp, usageText, -10);
    }
    if (context == nullptr) {
	return hkFailNarrow(interp, "Not enough memory", -700);
    }

    const char *values[OPT_COUNT] = {
	"", "389", "", "", "", "", "", "", defaultAttributes
    };
    for (int i = 1; i + 1 < argc; i += 2) {
	for (int o = 0; o < OPT_COUNT; o++) {
	    if (hkEqualsCaseBlind(argv[i], optionNames[o])) {
		values[o] = argv[i + 1];
		if (o == OPT_SEARCH_PAB) {
		    context->setSearchPAB(hkParseFlagWord(argv[i + 1]));
		}
		break;
	    }
	}
    }

    int result;
    try {
	context->setCredentials(values[OPT_USERNAME], values[OPT_PASSWORD]);
	context->setServer(values[OPT_SERVER], hkParsePortWord(values[OPT_PORT]));
	context->setSearchBase(values[OPT_SEARCH_BASE]);
	context->setSearchFilter(values[OPT_SEARCH_FILTER]);
	context->setAttributes(values[OPT_DESIRED_ATTRIBUTES]);
	if (values[OPT_ENCRYPTED_PASSWORD][0] != '\0') {
	    context->setScrambledPassword(values[OPT_ENCRYPTED_PASSWORD]);
	}
	/* Memory running out inside the search must not escape the command. */
	result = context->runSearch();
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, "Not enough memory", -700);
    }

    if (result >= 0) {
	char text[16];
	snprintf(text, sizeof text, "%d", result);
	return hkSetNarrowResult(interp, text);
    }
    switch (result) {
    case HK_SEARCH_NO_USER:
	return hkFailNarrow(interp, "Username not specified but password specified", result);
    case HK_SEARCH_FAILED:
	return hkFailNarrow(interp, "LDAP search failed : please verify search base and filter",
		result);
    case HK_SEARCH_NO_CONNECTION:
	return hkFailNarrow(interp,
		"Could not open LDAP connection : please verify server and port", result);
    case HK_SEARCH_BIND_FAILED:
	return hkFailNarrow(interp, "LDAP authentication failed : please verify username and "
		"password. Username should be fully qualified DN", result);
    case HK_SEARCH_NO_RESULTS_FILE:
	return hkFailNarrow(interp, "Could not local file for writing results", result);
    default:
	return hkFailCode(interp, result);
    }
}

/*
 * ldapsearchgetnextitem ?ignored ...?
 *
 * One entry per call; the end of the results is the failure -20.
 */
extern "C" int
HkLdapSearchGetNextItemCmd(ClientData, Tcl_Interp *interp, int, const char *[])
{
    SearchContext *context = hkCurrentSearch();
    if (context == nullptr) {
	return hkFailNarrow(interp, "Operation failed", HK_RESULTS_CANNOT_OPEN);
    }
    try {
	ResultRecord record;
	int code = context->readNextRecord(record);
	if (code < 0) {
	    return hkFailNarrow(interp, "Operation failed", code);
	}
	std::string text;
	hkFormatRecord(record, text);
	return hkSetNarrowResult(interp, text.c_str());
    } catch (const std::bad_alloc &) {
	return hkFailNarrow(interp, "Operation failed", HK_RESULTS_NO_MEMORY);
    }
}
