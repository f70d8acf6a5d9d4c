/*
 * failuresTest.cpp --
 *
 *	The failure table (core/failures.h) against the manual, and what a
 *	failing call leaves in the interpreter.
 *
 *	The manual, doc/hostkit.n, is the contract. Its FAILURE CODES list of
 *	words is rendered from the table here and must be that rendering line
 *	for line (the test prints it when they differ). Each command's failure
 *	list ("Failures" up to the next .PP or .RE: .TP, the code line, then
 *	the message as one bold line or the lines of a .nf block, or prose
 *	for a failure without a message of its own) must hold the table's
 *	(command, code, message) rows, no more and no fewer; an italic span of
 *	a message is where the command fills a text in ("%s" in the table).
 */

#include "core/hostkit.h"

#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

/* The lines of a section of the manual, after its .SH line. */
std::vector<std::string>
manualSection(const std::string &heading)
{
    std::ifstream in(std::string(HOSTKIT_SOURCE_DIR) + "/doc/hostkit.n");
    std::vector<std::string> lines;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
	if (line.compare(0, 3, ".SH") == 0) {
	    inSection = line == ".SH " + heading || line == ".SH \"" + heading + "\"";
	} else if (inSection) {
	    lines.push_back(line);
	}
    }
    return lines;
}

/*
 * A line of the manual as text: fonts dropped, an italic span as "%s",
 * escapes as their characters; an escape not known here stays, to show.
 */
std::string
plain(const std::string &troff)
{
    std::string out;
    bool italic = false;
    for (size_t i = 0; i < troff.size(); i++) {
	char c = troff[i];
	if (c == '\\' && i + 2 < troff.size() && troff[i + 1] == 'f') {
	    bool nowItalic = troff[i + 2] == 'I';
	    out += nowItalic && !italic ? "%s" : "";
	    italic = nowItalic;
	    i += 2;
	} else if (italic) {
	    continue;
	} else if (c == '\\' && i + 1 < troff.size()) {
	    static const std::map<char, std::string> escapes = {
		{'-', "-"}, {'&', ""}, {'e', "\\"}, {'t', "\t"}, {' ', " "}};
	    auto e = escapes.find(troff[++i]);
	    out += e != escapes.end() ? e->second : troff.substr(i - 1, 2);
	} else {
	    out += c;
	}
    }
    return out;
}

/* How the manual writes a failure's code. */
std::string
codeText(const HkFailureInfo &f)
{
    return f.kind == HkCodeKind::SYSTEM_ERROR ? "system error number"
	    : f.kind == HkCodeKind::EXIT_CODE ? "exit code" : std::to_string(f.code);
}

typedef std::tuple<std::string, std::string, std::string> Row;	/* command, code, message */
const char NO_MESSAGE[] = "(none)";

/*
 * The failure lists of the COMMANDS section. A heading is a .TP whose next
 * line names a command of the table; headings with nothing but .TP or .PD
 * between them share their body.
 */
std::set<Row>
manualRows()
{
    std::set<std::string> commands;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	commands.insert(HK_FAILURES[i].command);
    }
    static const std::regex heading("^\\\\fB([a-z]+)(\\\\f| |$)"), code("-?[0-9]+|[a-z][a-z ]*[a-z]");
    std::vector<std::string> lines = manualSection("COMMANDS");
    std::set<Row> rows;
    std::vector<std::string> group;
    bool joining = false, inList = false;
    for (size_t i = 1; i + 1 < lines.size(); i++) {
	const std::string &line = lines[i];
	bool entry = lines[i - 1] == ".TP";
	std::smatch m;
	if (entry && !inList && std::regex_search(line, m, heading) && commands.count(m[1])) {
	    group.resize(joining ? group.size() : 0);
	    group.push_back(m[1]);
	    joining = true;
	    continue;
	}
	if (line == ".TP" || line.compare(0, 3, ".PD") == 0) {
	    continue;
	}
	joining = false;
	inList = line.compare(0, 8, "Failures") == 0 || (inList && line != ".PP" && line != ".RE");
	if (!inList || !entry) {
	    continue;
	}
	std::string message = NO_MESSAGE;
	if (lines[i + 1].compare(0, 3, "\\fB") == 0) {
	    message = plain(lines[i + 1]);
	} else if (lines[i + 1] == ".nf") {
	    message.clear();
	    for (size_t j = i + 2; j < lines.size() && lines[j] != ".fi"; j++) {
		message += (j > i + 2 ? "\n" : "") + plain(lines[j]);
	    }
	}
	std::string codes = plain(line);
	for (std::sregex_iterator c(codes.begin(), codes.end(), code), end; c != end; ++c) {
	    for (const std::string &command : group) {
		rows.insert(Row(command, c->str(), message));
	    }
	}
    }
    return rows;
}

} // namespace

/* One word for each fixed (command, code); a code that is not fixed has its detail. */
TEST(FailureTable, OneWordForEachCode)
{
    std::map<std::pair<std::string, int>, std::string> words;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	if (f.kind == HkCodeKind::FIXED) {
	    auto known = words.emplace(std::make_pair(f.command, f.code), f.word).first;
	    EXPECT_EQ(known->second, f.word) << f.command << " " << f.code;
	} else {
	    EXPECT_NE(f.detail, nullptr) << f.command << " " << f.word;
	}
    }
}

TEST(FailureTable, ManualWordListIsRenderedFromTheTable)
{
    std::vector<std::string> rendered, manual;
    std::set<std::vector<std::string>> seen;
    std::string text;
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	std::vector<std::string> item = {".TP", std::string("\\fB") + f.command + "\\fR "
		+ (f.kind == HkCodeKind::FIXED ? codeText(f) : "\\fI" + codeText(f) + "\\fR"),
		std::string("\\fB") + f.word + "\\fR"
		+ (f.detail != nullptr ? std::string(" (detail: ") + f.detail + ")" : "")};
	if (seen.insert(item).second) {
	    rendered.insert(rendered.end(), item.begin(), item.end());
	}
    }
    for (const std::string &line : rendered) {
	text += line + "\n";
    }
    /* The list: from its first .TP to the .PP after it. */
    for (const std::string &line : manualSection("FAILURE CODES")) {
	if (line == ".PP" && !manual.empty()) {
	    break;
	}
	if (line == ".TP" || !manual.empty()) {
	    manual.push_back(line);
	}
    }
    EXPECT_EQ(manual, rendered) << "the FAILURE CODES list of doc/hostkit.n, from the table:\n"
	    << text;
}

TEST(FailureTable, ManualFailureListsHoldTheTableBothWays)
{
    std::set<Row> table, manual = manualRows();
    for (size_t i = 0; i < HK_FAILURE_COUNT; i++) {
	const HkFailureInfo &f = HK_FAILURES[i];
	table.insert(Row(f.command, codeText(f), f.message != nullptr ? f.message : NO_MESSAGE));
    }
    for (const Row &row : table) {
	EXPECT_TRUE(manual.count(row)) << "not in the manual: " << std::get<0>(row) << " "
		<< std::get<1>(row) << " {" << std::get<2>(row) << "}";
    }
    for (const Row &row : manual) {
	EXPECT_TRUE(table.count(row)) << "not in the table: " << std::get<0>(row) << " "
		<< std::get<1>(row) << " {" << std::get<2>(row) << "}";
    }
}

/*
 * A failing call at the failure site leaves the message, the errorCode
 * list and the code, with no help from the command table: the command
 * procedures called directly fail alike.
 */
class FailingCall : public ::testing::Test {
protected:
    /* {rc result errorCode errno} of one call. */
    static std::string run(const std::function<int(Tcl_Interp *)> &call)
    {
	Tcl_Interp *interp = unitTestInterp();
	Tcl_ResetResult(interp);
	Tcl_SetErrno(0);
	int rc = call(interp);
	int code = Tcl_GetErrno();
	Tcl_Obj *options = Tcl_GetReturnOptions(interp, rc);
	Tcl_Obj *errorCode = nullptr;
	Tcl_IncrRefCount(options);
	Tcl_DictObjGet(nullptr, options, Tcl_NewStringObj("-errorcode", -1), &errorCode);
	Tcl_Obj *items[] = {Tcl_NewIntObj(rc), Tcl_GetObjResult(interp),
	    errorCode != nullptr ? errorCode : Tcl_NewObj(), Tcl_NewIntObj(code)};
	std::string outcome = Tcl_GetString(Tcl_NewListObj(4, items));
	Tcl_DecrRefCount(options);
	return outcome;
    }
};

TEST_F(FailingCall, SetsMessageErrorCodeAndCodeLast)
{
    const WideString name = {'f', 0x00E9, 0x4E2D};	/* Latin-1, an ideograph */
    const struct {
	std::function<int(Tcl_Interp *)> call;
	const char *outcome;
    } cases[] = {
	{[](Tcl_Interp *i) { return hkFail(i, HkFailure::TERMINATE_USAGE); },
	    "1 {Usage: terminateprocess <process id>} {HOSTKIT terminateprocess -10 USAGE} -10"},
	{[](Tcl_Interp *i) { return hkFail(i, HkFailure::EXEC_USAGE, {u"left over"}); },
	    "1 {Usage: execprocess <file name> [arguments] ... \ne.g. execprocess notepad.exe "
	    "filename.txt} {HOSTKIT execprocess -10 USAGE} -10"},
	{[&](Tcl_Interp *i) { return hkFail(i, HkFailure::MTIME_TIME, {name, u"1 2"}); },
	    "1 {filesetmtime : f\xC3\xA9\xE4\xB8\xAD : Invalid Time Specification 1 2 (Should "
	    "be Yr Mnth Day Hr Min Sec)} {HOSTKIT filesetmtime -20 TIME} -20"},
	/* A part is not read for placeholders; a missing one is empty. */
	{[](Tcl_Interp *i) { return hkFailWithDetail(i, HkFailure::MTIME_OPEN, 13, {u"%s"}); },
	    "1 {filesetmtime : Could not open file %s. GetLastError = } "
	    "{HOSTKIT filesetmtime -30 OPEN 13} -30"},
	{[](Tcl_Interp *i) { return hkFailWithWord(i, HkFailure::SEARCH_INCOMPLETE, "SIZELIMIT"); },
	    "1 {Search results are not complete : see ldapsearchinfo} "
	    "{HOSTKIT ldapsearch -900 INCOMPLETE SIZELIMIT} -900"},
	{[](Tcl_Interp *i) { return hkFailWithCode(i, HkFailure::EXEC_START, 206, 206, {u"ce"}); },
	    "1 {CreateProcess failed : 0xce} {HOSTKIT execprocess 206 START 206} 206"},
	{[](Tcl_Interp *i) {
		Tcl_SetObjResult(i, Tcl_NewStringObj("output\n", -1));
		return hkFailWithCode(i, HkFailure::EXEC_EXIT_CODE, 3, 4711); },
	    "1 {output\n} {HOSTKIT execprocess 3 EXITCODE 4711} 3"},
	/* A fixed code is the table's whatever the call says. */
	{[](Tcl_Interp *i) { return hkFailWithCode(i, HkFailure::EXEC_WAIT, 5, 5); },
	    "1 {Wait for process to end failed} {HOSTKIT execprocess -1 WAIT 5} -1"},
	{[](Tcl_Interp *i) { return hkFail(i, HkFailure::DECRYPT_USAGE); },
	    "1 {} {HOSTKIT ldapdecryptpassword -10 USAGE} -10"},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(run(c.call), c.outcome);
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
	EXPECT_EQ(run(c.call), c.outcome);
    }
}
