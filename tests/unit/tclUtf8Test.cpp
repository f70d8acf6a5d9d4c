/*
 * tclUtf8Test.cpp --
 *
 *	Units for bytes as Tcl text (core/base/tclUtf8.h): the forms of each
 *	kind of sequence, the in-place conversion against the copying one,
 *	and the rule against Tcl's own utf-8 decoding in the interpreter that
 *	the units run, over every input of up to two bytes, every three-byte
 *	input with a three-byte lead, the four-byte edges and random texts.
 */

#include "core/base/tclUtf8.h"

#include "tests/unit/unitSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string
B(const char *bytes, size_t length)
{
    return std::string(bytes, length);
}

/* Tcl's own decoding: the internal bytes of `encoding convertfrom utf-8`. */
std::string
tclDecoding(const std::string &bytes)
{
    static Tcl_Encoding utf8 = Tcl_GetEncoding(nullptr, "utf-8");
    Tcl_DString ds;
    Tcl_ExternalToUtfDString(utf8, bytes.data(), static_cast<int>(bytes.size()), &ds);
    std::string out(Tcl_DStringValue(&ds), static_cast<size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return out;
}

std::string
inPlace(const std::string &bytes)
{
    size_t length = hkTclUtf8Length(bytes.data(), bytes.size());
    std::string buffer = bytes;
    buffer.resize(length, '#');
    hkToTclUtf8InPlace(&buffer[0], bytes.size(), length);
    return buffer;
}

/* The copying and in-place forms agree, and the result is Tcl text that stays as it is. */
void
expectSound(const std::string &bytes, const std::string &what)
{
    std::string copied = hkTclUtf8(bytes);
    EXPECT_EQ(copied.size(), hkTclUtf8Length(bytes.data(), bytes.size())) << what;
    EXPECT_EQ(inPlace(bytes), copied) << what;
    EXPECT_TRUE(hkIsTclUtf8(copied.data(), copied.size())) << what;
    EXPECT_EQ(hkTclUtf8(copied), copied) << what;
}

TEST(TclUtf8, FormOfEachKindOfSequence)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
	{"", ""},
	{"plain ASCII", "plain ASCII"},
	{"caf\xc3\xa9 \xe4\xb8\xad \xef\xbf\xbf", "caf\xc3\xa9 \xe4\xb8\xad \xef\xbf\xbf"},
	{B("a\0b", 3), "a\xc0\x80" "b"},
	{"\xc0\x80", "\xc0\x80"},
	{"caf\xe9", "caf\xc3\xa9"},
	{"\xff", "\xc3\xbf"},
	{"\x80\xbf", "\xc2\x80\xc2\xbf"},
	{"\xc1\xbf", "\xc3\x81\xc2\xbf"},				/* overlong two bytes */
	{"\xe0\x80\x80", "\xc3\xa0\xc2\x80\xc2\x80"},			/* overlong three bytes */
	{"\xe2\x82", "\xc3\xa2\xc2\x82"},				/* cut at the end */
	{"\xe2\x82" "A", "\xc3\xa2\xc2\x82" "A"},			/* cut by another character */
	/* a surrogate half stays in Tcl 8; in Tcl 9 its bytes are stray bytes */
	{"\xed\xa0\x80", HK_TCL_HOLDS_SURROGATES ? "\xed\xa0\x80" : "\xc3\xad\xc2\xa0\xc2\x80"},
	/* U+1F600 and U+10FFFF: two halves in Tcl 8, whole in Tcl 9 */
	{"\xf0\x9f\x98\x80", HK_TCL_KEEPS_FOUR_BYTES ? "\xf0\x9f\x98\x80" : "\xed\xa0\xbd\xed\xb8\x80"},
	{"\xf4\x8f\xbf\xbf", HK_TCL_KEEPS_FOUR_BYTES ? "\xf4\x8f\xbf\xbf" : "\xed\xaf\xbf\xed\xbf\xbf"},
	{"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},	/* beyond U+10FFFF */
	{"\xf0\x8f\x80\x80", "\xc3\xb0\xc2\x8f\xc2\x80\xc2\x80"},	/* overlong four bytes */
	{"\xf8\x88\x80\x80\x80", "\xc3\xb8\xc2\x88\xc2\x80\xc2\x80\xc2\x80"},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(hkTclUtf8(c.first), c.second) << c.first;
	expectSound(c.first, c.first);
    }
}

TEST(TclUtf8, CheckRefusesWhatTclNeverHolds)
{
    const std::vector<std::pair<std::string, bool>> cases = {
	{"", true},
	{"\xc0\x80\xc3\xa9\xe4\xb8\xad", true},
	{"\xed\xa0\x80", HK_TCL_HOLDS_SURROGATES},
	{B("\0", 1), false},
	{"\xc0\x81", false},
	{"\xc1\xbf", false},
	{"\x80", false},
	{"\xc3", false},
	{"\xe4\xb8", false},
	{"\xe0\x9f\xbf", false},
	{"\xf0\x9f\x98\x80", HK_TCL_KEEPS_FOUR_BYTES},
	{"\xff", false},
    };
    for (const auto &c : cases) {
	EXPECT_EQ(hkIsTclUtf8(c.first.data(), c.first.size()), c.second) << c.first;
    }
}

/* Every input of up to two bytes, and every three-byte input with a three-byte lead. */
TEST(TclUtf8, AgreesWithTclsDecodingOnEveryShortInput)
{
    /*
     * Tcl 9 has no decoding that keeps a stray byte as the character of its
     * value (exec replaces it with U+FFFD, the tcl8 profile goes through
     * cp1252); the package keeps Tcl 8's characters so that a script sees
     * the same text in both. The comparison holds for Tcl 8 only.
     */
    if (TCL_MAJOR_VERSION >= 9) {
	GTEST_SKIP() << "Tcl 9 decodes stray bytes differently";
    }
    size_t differ = 0;
    auto check = [&](const std::string &bytes) {
	std::string ours = hkTclUtf8(bytes);
	if (ours != tclDecoding(bytes) && ++differ <= 10) {
	    ADD_FAILURE() << "input " << ::testing::PrintToString(bytes);
	}
	if (inPlace(bytes) != ours && ++differ <= 10) {
	    ADD_FAILURE() << "in place " << ::testing::PrintToString(bytes);
	}
    };
    for (int a = 0; a < 256; ++a) {
	check(std::string(1, static_cast<char>(a)));
	for (int b = 0; b < 256; ++b) {
	    check(std::string{static_cast<char>(a), static_cast<char>(b)});
	}
    }
    for (int a = 0xE0; a <= 0xEF; ++a) {
	for (int b = 0; b < 256; ++b) {
	    for (int c = 0; c < 256; ++c) {
		check(std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
	    }
	}
    }
    const int edges[] = {0x00, 0x41, 0x7f, 0x80, 0x8f, 0x90, 0xbf, 0xc0, 0xff};
    for (int a = 0xF0; a <= 0xFF; ++a) {
	for (int b = 0; b < 256; ++b) {
	    for (int c : edges) {
		for (int d : edges) {
		    check(std::string{static_cast<char>(a), static_cast<char>(b),
			    static_cast<char>(c), static_cast<char>(d)});
		}
	    }
	}
    }
    EXPECT_EQ(differ, 0u);
}

/* Texts mixing every kind of sequence, cut anywhere. */
TEST(TclUtf8, AgreesWithTclsDecodingOnRandomTexts)
{
    /*
     * Tcl 9 has no decoding that keeps a stray byte as the character of its
     * value (exec replaces it with U+FFFD, the tcl8 profile goes through
     * cp1252); the package keeps Tcl 8's characters so that a script sees
     * the same text in both. The comparison holds for Tcl 8 only.
     */
    if (TCL_MAJOR_VERSION >= 9) {
	GTEST_SKIP() << "Tcl 9 decodes stray bytes differently";
    }
    const std::vector<std::string> pieces = {
	"a", B("\0", 1), "\xc0\x80", "\xc3\xa9", "\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\xed\xa0\x80",
	"\x80", "\xff", "\xc0", "\xe0\x80", "\xf4\x90", "\r\n",
    };
    std::mt19937 random(20261209);
    size_t differ = 0;
    for (int round = 0; round < 20000; ++round) {
	std::string text;
	int count = static_cast<int>(random() % 12);
	for (int i = 0; i < count; ++i) {
	    text += pieces[random() % pieces.size()];
	}
	text = text.substr(random() % (text.size() + 1));
	std::string ours = hkTclUtf8(text);
	if (ours != tclDecoding(text) && ++differ <= 10) {
	    ADD_FAILURE() << "input " << ::testing::PrintToString(text);
	}
	if (inPlace(text) != ours && ++differ <= 10) {
	    ADD_FAILURE() << "in place " << ::testing::PrintToString(text);
	}
    }
    EXPECT_EQ(differ, 0u);
}

} // namespace
