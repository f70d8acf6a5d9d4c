/*
 * failuresTest.cpp --
 *
 *	The failure table (core/failures.h) against the manual and against
 *	what a failing call leaves in the interpreter.
 *
 *	The manual, doc/hostkit.n, is the contract. Its "FAILURE CODES" list of
 *	words is rendered from the table here and must be that rendering line
 *	for line (on a difference the test prints the rendering to paste). Each
 *	command's failure list ("Failures" up to the next .PP or .RE: .TP, the
 *	code line, then the message as one bold line or the lines of a .nf
 *	block, or prose when the failure has no message of its own) must hold the same
 *	(command, code, message) rows as the table, both ways; an italic span of
 *	a message is where the command fills a text in ("%s" in the table).
 *	Markdown copies of the word table (README.md, doc/*.md) must list the
 *	table's fixed rows, where there is one.
 */

#include "core/hostkit.h"

#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

const std::string SOURCE_DIR = HOSTKIT_SOURCE_DIR;

std::vector<std::string>
readLines(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
	lines.push_back(line);
    }
    return lines;
}

/*
 * The text of a line of the manual: font changes dropped (an italic span
 * becomes "%s" when placeholders is set), escapes turned into their
 * characters. An escape not known here stays as it is, so that it shows.
 */
std::string
plain(const std::string &troff, bool placeholders)
{
    std::string out;
    bool italic = false;
    for (size_t i = 0; i < troff.size(); i++) {
	if (troff[i] != '\\' || i + 1 == troff.size()) {
	    if (!(placeholders && italic)) {
		out += troff[i];
	    }
	    continue;
	}
	char e = troff[++i];
	if (e == 'f' && i + 1 < troff.size()) {
	    bool nowItalic = troff[++i] == 'I';
	    if (placeholders && nowItalic && !italic) {
		out += "%s";
	    }
	    italic = nowItalic;
	    continue;
	}
	if (placeholders && italic) {
	    continue;
	}
	switch (e) {
	case '-': out += '-'; break;
	case '&': break;
	case 'e': out += '\\'; break;
	case 't': out += '\t'; break;
	case ' ': out += ' '; break;
	default: out += '\\'; out += e; break;
	}
    }
    return out;
}

bool
startsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

/* The lines of a section of the manual: after its .SH line, up to the next. */
std::vector<std::string>
section(const std::vector<std::string> &manual, const std::string &heading)
{
    std::vector<std::string> out;
    bool in = false;
    for (const std::string &line : manual) {
	if (startsWith(line, ".SH")) {
	    in = line == ".SH " + heading || line == ".SH \"" + heading + "\"";
	    continue;
	}
	if (in) {
	    out.push_back(line);
	}
    }
    return out;
}

std::vector<std::string>
manualLines()
{
    return readLines(SOURCE_DIR + "/doc/hostkit.n");
}

/* How the manual writes a failure's code. */
std::string
codeText(const HkFailureInfo &f)
{
    switch (f.kind) {
    case HkCodeKind::SYSTEM_ERROR:
	return "system error number";
    case HkCodeKind::EXIT_CODE:
	return "exit code";
    case HkCodeKind::FIXED:
	break;
    }
    return std::to_string(f.code);
}

/* The "FAILURE CODES" list of words as the table gives it. */
std::vector<std::string>
renderedWordList()
{
    std::vector<std::string> out;
    std::set<std::pair<std::string, std::string>> seen;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	std::string head = std::string("\\fB") + f.command + "\\fR "
		+ (f.kind == HkCodeKind::FIXED ? codeText(f) : "\\fI" + codeText(f) + "\\fR");
	std::string word = std::string("\\fB") + f.word + "\\fR";
	if (f.detail != nullptr) {
	    word += std::string(" (detail: ") + f.detail + ")";
	}
	if (seen.insert({head, word}).second) {
	    out.insert(out.end(), {".TP", head, word});
	}
    }
    return out;
}

/* The manual's list of words: from its first .TP to the .PP after it. */
std::vector<std::string>
manualWordList()
{
    std::vector<std::string> out;
    for (const std::string &line : section(manualLines(), "FAILURE CODES")) {
	if (out.empty() && line != ".TP") {
	    continue;
	}
	if (line == ".PP") {
	    break;
	}
	out.push_back(line);
    }
    return out;
}

/* A failure as a command's list gives it: command, code, message ("-": none). */
typedef std::tuple<std::string, std::string, std::string> Row;

const char NO_MESSAGE[] = "-";

std::set<Row>
tableRows()
{
    std::set<Row> rows;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	rows.insert(Row(f.command, codeText(f), f.message != nullptr ? f.message : NO_MESSAGE));
    }
    return rows;
}

/* The command a heading of the COMMANDS section names, or "". */
std::string
headingCommand(const std::string &line, const std::set<std::string> &commands)
{
    std::smatch m;
    static const std::regex heading("^\\\\fB([a-z]+)(\\\\f| |$)");
    if (std::regex_search(line, m, heading) && commands.count(m[1])) {
	return m[1];
    }
    return "";
}

/*
 * Every failure list of the COMMANDS section. A heading is a .TP whose
 * next line names a command; headings with nothing between them (.PD
 * aside) share their body.
 */
std::set<Row>
manualRows(std::vector<std::string> &problems)
{
    std::set<std::string> commands;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	commands.insert(HK_FAILURES[i].command);
    }
    std::vector<std::string> lines = section(manualLines(), "COMMANDS");
    std::set<Row> rows;
    std::vector<std::string> group;
    bool joining = false;	/* the last lines were headings */
    bool inList = false;
    for (size_t i = 0; i < lines.size(); i++) {
	const std::string &line = lines[i];
	std::string command = i > 0 && lines[i - 1] == ".TP" && !inList
		? headingCommand(line, commands) : "";
	if (!command.empty()) {
	    if (!joining) {
		group.clear();
	    }
	    group.push_back(command);
	    joining = true;
	    continue;
	}
	if (line == ".TP" || startsWith(line, ".PD")) {
	    continue;
	}
	joining = false;
	if (startsWith(line, "Failures")) {
	    inList = true;
	    continue;
	}
	if (line == ".PP" || line == ".RE") {
	    inList = false;
	    continue;
	}
	if (!inList || lines[i - 1] != ".TP") {
	    continue;
	}
	/* An entry: its code line, then its message. */
	std::vector<std::string> codes;
	std::stringstream codeLine(plain(line, false));
	for (std::string code; std::getline(codeLine, code, ',');) {
	    codes.push_back(code.substr(code.find_first_not_of(' ')));
	}
	std::string message = NO_MESSAGE;
	const std::string &next = i + 1 < lines.size() ? lines[i + 1] : "";
	if (startsWith(next, "\\fB")) {
	    message = plain(next, true);
	} else if (next == ".nf") {
	    message.clear();
	    size_t j = i + 2;
	    for (; j < lines.size() && lines[j] != ".fi"; j++) {
		message += (j > i + 2 ? "\n" : "") + plain(lines[j], true);
	    }
	}
	if (group.empty()) {
	    problems.push_back("a failure list outside a command: " + line);
	}
	for (const std::string &c : group) {
	    for (const std::string &code : codes) {
		rows.insert(Row(c, code, message));
	    }
	}
    }
    return rows;
}

std::string
show(const Row &row)
{
    return std::get<0>(row) + " " + std::get<1>(row) + " {" + std::get<2>(row) + "}";
}

/* The fixed rows of markdown word tables: "| `command` | code | `WORD` |". */
typedef std::tuple<std::string, int, std::string> WordRow;

std::set<WordRow>
markdownWordRows(const std::string &path)
{
    static const std::regex row("^\\| `([a-z]+)` \\| (-?[0-9]+) \\| `([A-Z]+)` \\|$");
    std::set<WordRow> rows;
    std::smatch m;
    for (const std::string &line : readLines(path)) {
	if (std::regex_match(line, m, row)) {
	    rows.insert(WordRow(m[1], std::stoi(m[2]), m[3]));
	}
    }
    return rows;
}

} // namespace

/*
 * The table itself: words and commands well formed, one word for each
 * fixed (command, code), and only the codes that are not fixed without a
 * code of their own.
 */
TEST(FailureTable, RowsAreWellFormed)
{
    std::map<std::pair<std::string, int>, std::string> words;
    static const std::regex word("^[A-Z]+$"), command("^[a-z]+$");
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	SCOPED_TRACE(std::string(f.command) + " " + f.word);
	EXPECT_EQ(&hkFailureInfo(static_cast<HkFailure>(i)), &f);
	EXPECT_TRUE(std::regex_match(f.word, word));
	EXPECT_TRUE(std::regex_match(f.command, command));
	if (f.kind == HkCodeKind::FIXED) {
	    EXPECT_LT(f.code, 0);
	    auto known = words.emplace(std::make_pair(f.command, f.code), f.word);
	    EXPECT_EQ(known.first->second, f.word) << "two words for one code";
	} else {
	    EXPECT_EQ(f.code, 0);
	    EXPECT_NE(f.detail, nullptr) << "a code that is not fixed has its detail";
	}
    }
    EXPECT_EQ(HK_FAILURE_COUNT, static_cast<size_t>(HkFailure::COUNT));
}

TEST(FailureTable, ManualWordListIsTheTables)
{
    std::vector<std::string> rendered = renderedWordList();
    std::vector<std::string> manual = manualWordList();
    ASSERT_FALSE(manual.empty()) << "no list of words in the manual's FAILURE CODES";
    std::string text;
    for (const std::string &line : rendered) {
	text += line + "\n";
    }
    EXPECT_EQ(manual, rendered) << "the FAILURE CODES list of doc/hostkit.n, from the table:\n"
	    << text;
}

TEST(FailureTable, ManualFailureListsAreTheTables)
{
    std::vector<std::string> problems;
    std::set<Row> manual = manualRows(problems);
    std::set<Row> table = tableRows();
    EXPECT_EQ(problems, std::vector<std::string>());
    ASSERT_FALSE(manual.empty()) << "no failure lists in the manual";
    for (const Row &row : table) {
	EXPECT_TRUE(manual.count(row)) << "not in the manual: " << show(row);
    }
    for (const Row &row : manual) {
	EXPECT_TRUE(table.count(row)) << "not in the table: " << show(row);
    }
}

TEST(FailureTable, MarkdownWordTablesAreTheTables)
{
    std::set<WordRow> table;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	if (f.kind == HkCodeKind::FIXED) {
	    table.insert(WordRow(f.command, f.code, f.word));
	}
    }
    std::vector<std::string> files = {SOURCE_DIR + "/README.md"};
    if (DIR *dir = opendir((SOURCE_DIR + "/doc").c_str())) {
	while (struct dirent *e = readdir(dir)) {
	    std::string name = e->d_name;
	    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0) {
		files.push_back(SOURCE_DIR + "/doc/" + name);
	    }
	}
	closedir(dir);
    }
    for (const std::string &file : files) {
	std::set<WordRow> rows = markdownWordRows(file);
	if (!rows.empty()) {
	    EXPECT_EQ(rows, table) << file;
	}
    }
}

/*
 * The manual's text rule: font changes go, an italic span is one
 * placeholder, escapes become their characters.
 */
TEST(FailureTable, ManualTextRule)
{
    const struct {
	const char *troff;
	bool placeholders;
	const char *text;
    } cases[] = {
	{"\\fBCould not open process\\fR", true, "Could not open process"},
	{"\\fBfilesetmtime : \\fINAME\\fB : x \\fITIME\\fB (y)\\fR", true,
	    "filesetmtime : %s : x %s (y)"},
	{"\\fB0x\\fIN\\fR", true, "0x%s"},
	{"\\fB0x\\fIN\\fR", false, "0xN"},
	{"\\fB\\-30\\fR, \\fB\\-50\\fR", false, "-30, -50"},
	{"\\tUsage ... \\&", true, "\tUsage ... "},
	{"a\\eb \\(lq", true, "a\\b \\(lq"},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(plain(c.troff, c.placeholders), c.text) << c.troff;
    }
}

TEST(FailureMessage, PartsFillThePlaceholdersInOrder)
{
    const WideChar name[] = {'a', 0x00E9, 0xD83D, 0xDE00};	/* Latin-1 and a surrogate pair */
    WideString wideName(name, 4);
    const struct {
	HkFailure failure;
	std::vector<WideString> parts;
	WideString message;
    } cases[] = {
	{HkFailure::TERMINATE_OPEN, {}, u"Could not open process"},
	{HkFailure::TERMINATE_OPEN, {u"left over"}, u"Could not open process"},
	{HkFailure::MTIME_TIME, {wideName, u"2004 13"},
	    u"filesetmtime : " + wideName + u" : Invalid Time Specification 2004 13 "
	    u"(Should be Yr Mnth Day Hr Min Sec)"},
	/* A part is never read for placeholders; a missing one is empty. */
	{HkFailure::MTIME_OPEN, {u"%s%s"}, u"filesetmtime : Could not open file %s%s. GetLastError = "},
	{HkFailure::EXEC_START, {u"7f"}, u"CreateProcess failed : 0x7f"},
	{HkFailure::ENCRYPT_USAGE, {u"x"}, u""},
	{HkFailure::EXEC_EXIT_CODE, {}, u""},
    };
    for (const auto &c : cases) {
	WideString got;
	switch (c.parts.size()) {
	case 0: got = hkFailureMessage(c.failure); break;
	case 1: got = hkFailureMessage(c.failure, {c.parts[0]}); break;
	default: got = hkFailureMessage(c.failure, {c.parts[0], c.parts[1]}); break;
	}
	EXPECT_TRUE(got == c.message) << hkFailureInfo(c.failure).word;
    }
}

/*
 * A failing call at the failure site leaves the message, the errorCode
 * list and the code, with no help from the command table: the command
 * procedures called directly fail alike.
 */
class FailingCall : public ::testing::Test {
protected:
    void SetUp() override
    {
	interp_ = unitTestInterp();
	Tcl_ResetResult(interp_);
	Tcl_SetErrno(0);
    }

    /* {rc result errorCode errno} of one call. */
    std::string run(const std::function<int()> &call)
    {
	int rc = call();
	int code = Tcl_GetErrno();
	Tcl_Obj *errorCode = nullptr;
	Tcl_Obj *options = Tcl_GetReturnOptions(interp_, rc);
	Tcl_IncrRefCount(options);
	Tcl_DictObjGet(nullptr, options, Tcl_NewStringObj("-errorcode", -1), &errorCode);
	Tcl_Obj *items[] = {
	    Tcl_NewIntObj(rc), Tcl_GetObjResult(interp_),
	    errorCode != nullptr ? errorCode : Tcl_NewObj(), Tcl_NewIntObj(code),
	};
	std::string outcome = Tcl_GetString(Tcl_NewListObj(4, items));
	Tcl_DecrRefCount(options);
	return outcome;
    }

    Tcl_Interp *interp_ = nullptr;
};

TEST_F(FailingCall, SetsMessageErrorCodeAndCode)
{
    const WideChar name[] = {'f', 0x00E9};
    WideString wideName(name, 2);
    const struct {
	const char *what;
	std::function<int(Tcl_Interp *)> call;
	const char *outcome;
    } cases[] = {
	{"fixed", [](Tcl_Interp *i) { return hkFail(i, HkFailure::TERMINATE_USAGE); },
	    "1 {Usage: terminateprocess <process id>} {HOSTKIT terminateprocess -10 USAGE} -10"},
	{"two lines", [](Tcl_Interp *i) { return hkFail(i, HkFailure::EXEC_USAGE); },
	    "1 {Usage: execprocess <file name> [arguments] ... \ne.g. execprocess notepad.exe "
	    "filename.txt} {HOSTKIT execprocess -10 USAGE} -10"},
	{"parts", [&](Tcl_Interp *i) { return hkFail(i, HkFailure::MTIME_TIME, {wideName, u"1 2"}); },
	    "1 {filesetmtime : f\xC3\xA9 : Invalid Time Specification 1 2 (Should be Yr Mnth Day "
	    "Hr Min Sec)} {HOSTKIT filesetmtime -20 TIME} -20"},
	{"number detail", [&](Tcl_Interp *i) {
		return hkFailWithDetail(i, HkFailure::MTIME_OPEN, 13, {wideName, u"13"}); },
	    "1 {filesetmtime : Could not open file f\xC3\xA9. GetLastError = 13} "
	    "{HOSTKIT filesetmtime -30 OPEN 13} -30"},
	{"word detail", [](Tcl_Interp *i) {
		return hkFailWithWord(i, HkFailure::SEARCH_INCOMPLETE, "SIZELIMIT"); },
	    "1 {Search results are not complete : see ldapsearchinfo} "
	    "{HOSTKIT ldapsearch -900 INCOMPLETE SIZELIMIT} -900"},
	{"system error", [](Tcl_Interp *i) {
		return hkFailWithCode(i, HkFailure::EXEC_START, 206, 206, {u"ce"}); },
	    "1 {CreateProcess failed : 0xce} {HOSTKIT execprocess 206 START 206} 206"},
	{"exit code keeps the result", [](Tcl_Interp *i) {
		Tcl_SetObjResult(i, Tcl_NewStringObj("output\n", -1));
		return hkFailWithCode(i, HkFailure::EXEC_EXIT_CODE, 3, 4711); },
	    "1 {output\n} {HOSTKIT execprocess 3 EXITCODE 4711} 3"},
	{"fixed code wins", [](Tcl_Interp *i) {
		return hkFailWithCode(i, HkFailure::EXEC_WAIT, 5, 5); },
	    "1 {Wait for process to end failed} {HOSTKIT execprocess -1 WAIT 5} -1"},
	{"no message", [](Tcl_Interp *i) { return hkFail(i, HkFailure::DECRYPT_USAGE); },
	    "1 {} {HOSTKIT ldapdecryptpassword -10 USAGE} -10"},
    };
    for (const auto &c : cases) {
	SetUp();
	EXPECT_EQ(run([&] { return c.call(interp_); }), c.outcome) << c.what;
    }
}

TEST_F(FailingCall, CommandProceduresFailOnTheirOwn)
{
    const char *terminate[] = {"terminateprocess", nullptr};
    const char *encrypt[] = {"ldapencryptpassword", nullptr};
    const char *info[] = {"ldapsearchinfo", "now", nullptr};
    Tcl_Obj *version[] = {Tcl_NewStringObj("filegetversion", -1)};
    const struct {
	std::function<int(Tcl_Interp *)> call;
	const char *outcome;
    } cases[] = {
	{[&](Tcl_Interp *i) { return HkTerminateProcessCmd(nullptr, i, 1, terminate); },
	    "1 {Usage: terminateprocess <process id>} {HOSTKIT terminateprocess -10 USAGE} -10"},
	{[&](Tcl_Interp *i) { return HkLdapEncryptPasswordCmd(nullptr, i, 1, encrypt); },
	    "1 {} {HOSTKIT ldapencryptpassword -10 USAGE} -10"},
	{[&](Tcl_Interp *i) { return HkLdapSearchInfoCmd(nullptr, i, 2, info); },
	    "1 {Usage: ldapsearchinfo} {HOSTKIT ldapsearchinfo -10 USAGE} -10"},
	{[&](Tcl_Interp *i) { return HkFileGetVersionObjCmd(nullptr, i, 1, version); },
	    "1 {Usage: filegetversion <file name> <version attribute name> e.g. filegetversion "
	    "abc.dll ProductVersion} {HOSTKIT filegetversion -10 USAGE} -10"},
    };
    for (const auto &c : cases) {
	SetUp();
	EXPECT_EQ(run([&] { return c.call(interp_); }), c.outcome);
    }
}
