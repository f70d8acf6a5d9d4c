/*
 * failures.cpp --
 *
 *	The failure table (see failures.h): every failure of every command,
 *	with its code, errorCode word, detail and message. The messages are
 *	part of the interface, byte for byte.
 */

#include "core/failures.h"

namespace {

using F = HkFailure;
using K = HkCodeKind;

/* Shared texts. */
const char NO_MEMORY[] = "Not enough memory";
const char NEXT_ITEM_FAILED[] = "Operation failed";
const char SYSTEM_ERROR_DETAIL[] = "the system's error number";

} // namespace

constexpr HkFailureInfo HK_FAILURES[] = {
    {F::TERMINATE_USAGE, "terminateprocess", K::FIXED, -10, "USAGE", nullptr,
	"Usage: terminateprocess <process id>"},
    {F::TERMINATE_OPEN, "terminateprocess", K::FIXED, -20, "OPEN", nullptr,
	"Could not open process"},
    {F::TERMINATE_TERMINATE, "terminateprocess", K::FIXED, -30, "TERMINATE", nullptr,
	"Could not terminate process"},
    {F::TERMINATE_PROCESS_ID, "terminateprocess", K::FIXED, -40, "PROCESSID", nullptr,
	"Invalid process ID"},

    {F::SEARCH_USAGE, "ldapsearch", K::FIXED, -10, "USAGE", nullptr,
	"Usage: ldapsearch optionname optionvalue .... where\n\toptionname = server port "
	"searchBase searchFilter userdn password searchpab desiredattributes"},
    {F::SEARCH_NO_USER, "ldapsearch", K::FIXED, -200, "NOUSER", nullptr,
	"Username not specified but password specified"},
    {F::SEARCH_FAILED, "ldapsearch", K::FIXED, -300, "SEARCH", nullptr,
	"LDAP search failed : please verify search base and filter"},
    {F::SEARCH_CONNECT, "ldapsearch", K::FIXED, -400, "CONNECT", nullptr,
	"Could not open LDAP connection : please verify server and port"},
    {F::SEARCH_BIND, "ldapsearch", K::FIXED, -500, "BIND", nullptr,
	"LDAP authentication failed : please verify username and password. "
	"Username should be fully qualified DN"},
    {F::SEARCH_RESULTS_FILE, "ldapsearch", K::FIXED, -600, "RESULTSFILE", nullptr,
	"Could not local file for writing results"},
    {F::SEARCH_NO_MEMORY, "ldapsearch", K::FIXED, -700, "NOMEMORY", nullptr, NO_MEMORY},
    {F::SEARCH_TLS, "ldapsearch", K::FIXED, -800, "TLS", nullptr,
	"Could not secure LDAP connection : please verify the server's certificate, its "
	"name and the secure option"},
    {F::SEARCH_INCOMPLETE, "ldapsearch", K::FIXED, -900, "INCOMPLETE",
	"the first cause's word", "Search results are not complete : see ldapsearchinfo"},

    {F::NEXT_ITEM_NO_SEARCH, "ldapsearchgetnextitem", K::FIXED, -10, "NOSEARCH", nullptr,
	NEXT_ITEM_FAILED},
    {F::NEXT_ITEM_END, "ldapsearchgetnextitem", K::FIXED, -20, "END", nullptr,
	NEXT_ITEM_FAILED},
    {F::NEXT_ITEM_BAD_LENGTH, "ldapsearchgetnextitem", K::FIXED, -30, "DAMAGED", nullptr,
	NEXT_ITEM_FAILED},
    {F::NEXT_ITEM_NO_MEMORY, "ldapsearchgetnextitem", K::FIXED, -40, "NOMEMORY", nullptr,
	NEXT_ITEM_FAILED},
    {F::NEXT_ITEM_SHORT_VALUE, "ldapsearchgetnextitem", K::FIXED, -50, "DAMAGED", nullptr,
	NEXT_ITEM_FAILED},

    {F::INFO_USAGE, "ldapsearchinfo", K::FIXED, -10, "USAGE", nullptr,
	"Usage: ldapsearchinfo"},
    {F::INFO_NO_SEARCH, "ldapsearchinfo", K::FIXED, -20, "NOSEARCH", nullptr,
	"No search to report on : run ldapsearch first"},
    {F::INFO_RUNNING, "ldapsearchinfo", K::FIXED, -30, "RUNNING", nullptr,
	"The search is still running : try again when it is over"},
    /* The report of the search could not be made: the code of "no search", as always. */
    {F::INFO_NO_MEMORY, "ldapsearchinfo", K::FIXED, -20, "NOSEARCH", nullptr, NO_MEMORY},

    {F::ENCRYPT_USAGE, "ldapencryptpassword", K::FIXED, -10, "USAGE", nullptr, nullptr},
    {F::ENCRYPT_NO_MEMORY, "ldapencryptpassword", K::FIXED, -20, "NOMEMORY", nullptr, NO_MEMORY},
    {F::DECRYPT_USAGE, "ldapdecryptpassword", K::FIXED, -10, "USAGE", nullptr, nullptr},
    {F::DECRYPT_NO_MEMORY, "ldapdecryptpassword", K::FIXED, -20, "NOMEMORY", nullptr, NO_MEMORY},

    {F::VERSION_USAGE, "filegetversion", K::FIXED, -10, "USAGE", nullptr,
	"Usage: filegetversion <file name> <version attribute name> e.g. filegetversion "
	"abc.dll ProductVersion"},
    {F::VERSION_NO_INFO, "filegetversion", K::FIXED, -20, "NOVERSION", nullptr,
	"File does not exist or has no version information"},
    {F::VERSION_NO_ATTRIBUTE, "filegetversion", K::FIXED, -30, "NOATTRIBUTE", nullptr,
	"File does not have the specified version attribute"},

    {F::MTIME_USAGE, "filesetmtime", K::FIXED, -10, "USAGE", nullptr,
	"Usage: filesetmtime <file name> <current modified time in seconds> <new modified "
	"time in seconds> e.g. filesetmtime abc.dll 1089235720 1089235800"},
    /* The file name, the time word. */
    {F::MTIME_TIME, "filesetmtime", K::FIXED, -20, "TIME", nullptr,
	"filesetmtime : %s : Invalid Time Specification %s (Should be Yr Mnth Day Hr Min Sec)"},
    /* The file name, the system's error number. */
    {F::MTIME_OPEN, "filesetmtime", K::FIXED, -30, "OPEN", SYSTEM_ERROR_DETAIL,
	"filesetmtime : Could not open file %s. GetLastError = %s"},
    {F::MTIME_SET, "filesetmtime", K::FIXED, -40, "SETTIME", SYSTEM_ERROR_DETAIL,
	"filesetmtime : Could not set file time for %s. GetLastError = %s"},

    {F::PROCESS_LIST_SNAPSHOT, "getprocesslist", K::FIXED, -10, "SNAPSHOT", nullptr,
	"Could not get process list information"},
    {F::PROCESS_LIST_WALK, "getprocesslist", K::FIXED, -20, "WALK", nullptr,
	"Could not walk the list of processes"},

    {F::EXEC_USAGE, "execprocess", K::FIXED, -10, "USAGE", nullptr,
	"Usage: execprocess <file name> [arguments] ... \n"
	"e.g. execprocess notepad.exe filename.txt"},
    {F::EXEC_WAIT, "execprocess", K::FIXED, -1, "WAIT", nullptr,
	"Wait for process to end failed"},
    /* Never part of the output as if it were all of it. */
    {F::EXEC_TOO_LARGE, "execprocess", K::FIXED, -20, "TOOLARGE", nullptr,
	"Output of the program is too large for a result"},
    /* A stream without its capture file: the program is not started. */
    {F::EXEC_CAPTURE, "execprocess", K::FIXED, -30, "CAPTURE", nullptr,
	"Could not create a temporary file for the output of the program"},
    {F::EXEC_READ, "execprocess", K::FIXED, -40, "READ", nullptr,
	"Could not read the output of the program"},

    {F::TEMP_FILE, "gettempfilename", K::FIXED, -20, "TEMPFILE", nullptr,
	"Unable to get temporary file name"},

    /* The error number in hexadecimal. */
    {F::EXEC_START, "execprocess", K::SYSTEM_ERROR, 0, "START", "the same number",
	"CreateProcess failed : 0x%s"},
    /* The message is the program's output, already the result. */
    {F::EXEC_EXIT_CODE, "execprocess", K::EXIT_CODE, 0, "EXITCODE", "the child's process id",
	nullptr},
};

const size_t HK_FAILURE_COUNT = sizeof HK_FAILURES / sizeof HK_FAILURES[0];

namespace {

static_assert(sizeof HK_FAILURES / sizeof HK_FAILURES[0] == static_cast<size_t>(HkFailure::COUNT),
	"every failure has one row");

constexpr bool
inNameOrder()
{
    for (size_t i = 0; i < static_cast<size_t>(HkFailure::COUNT); i++) {
	if (HK_FAILURES[i].failure != static_cast<HkFailure>(i)) {
	    return false;
	}
    }
    return true;
}

static_assert(inNameOrder(), "the rows stand in the order of the names");

} // namespace

const HkFailureInfo &
hkFailureInfo(HkFailure failure)
{
    return HK_FAILURES[static_cast<size_t>(failure)];
}

WideString
hkFailureMessage(HkFailure failure, std::initializer_list<WideString> parts)
{
    const char *format = hkFailureInfo(failure).message;
    WideString out;
    if (format == nullptr) {
	return out;
    }
    const WideString *part = parts.begin();
    for (const char *p = format; *p != '\0'; ++p) {
	if (p[0] == '%' && p[1] == 's') {
	    if (part != parts.end()) {
		out += *part++;
	    }
	    ++p;
	} else {
	    out.push_back(static_cast<WideChar>(static_cast<unsigned char>(*p)));
	}
    }
    return out;
}
