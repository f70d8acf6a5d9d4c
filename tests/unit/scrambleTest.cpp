/*
 * scrambleTest.cpp --
 *
 *	Units for password scrambling: the shape of the scrambled text, round
 *	trips, key cycling, and how unscrambling reads texts that did not come
 *	from scramblePassword. The key is the one the module assembled at load.
 */

#include "directory/base/scramble.h"
#include "directory/directoryState.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace hkdir;

namespace {

std::string
scrambled(const std::string &password)
{
    return scramblePassword(password.c_str(), scrambleKey()).get();
}

std::string
unscrambled(const std::string &text)
{
    return unscramblePassword(text.c_str(), scrambleKey()).get();
}

std::string
hexByte(unsigned value)
{
    char buf[3];
    snprintf(buf, sizeof buf, "%02x", value & 0xFF);
    return buf;
}

/* The key, as scrambling twelve 0x01 bytes reveals it. */
std::vector<unsigned>
keyBytes()
{
    std::string text = scrambled(std::string(12, '\x01'));
    std::vector<unsigned> key;
    for (size_t i = 0; i < 12; i++) {
	key.push_back(std::stoul(text.substr(2 * i, 2), nullptr, 16) ^ 0x01);
    }
    return key;
}

} // namespace

TEST(Scramble, KnownTextsStayTheSame)
{
    /* Scripts store these texts: the key must never change. */
    EXPECT_EQ(scrambled("secret"), "28a67de5489c");
    EXPECT_EQ(scrambled("Directory pass 1"), "1faa6cf24e9c1bd340d612ed28b03ea6");
    EXPECT_EQ(unscrambled("28a67de5489c"), "secret");
    EXPECT_EQ(scrambled(""), "");
    EXPECT_EQ(unscrambled(""), "");
}

TEST(Scramble, EveryByteRoundTripsAsLowerCaseHexOfTwiceTheLength)
{
    std::vector<std::string> passwords;
    std::string all;
    for (int b = 1; b < 256; b++) {
	passwords.push_back(std::string(1, static_cast<char>(b)));
	passwords.push_back(std::string(13, static_cast<char>(b)));
	all += static_cast<char>(b);
    }
    passwords.push_back(all);
    passwords.push_back(std::string("\x5b\x5b", 2));	/* the first key byte: pair 00 */
    passwords.push_back("p\xc3\xa4ss w\xc3\xb6rd \xe4\xb8\xad");	/* UTF-8 text */

    for (const std::string &password : passwords) {
	std::string text = scrambled(password);
	ASSERT_EQ(text.size(), 2 * password.size());
	ASSERT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
	ASSERT_EQ(unscrambled(text), password);
    }
}

TEST(Scramble, KeyCyclesEveryTwelveBytes)
{
    std::string text = scrambled(std::string(25, 'q'));
    EXPECT_EQ(text.substr(0, 2), text.substr(24, 2));
    EXPECT_EQ(text.substr(0, 24), text.substr(24, 24));
    EXPECT_NE(text.substr(0, 2), text.substr(2, 2));
}

TEST(Unscramble, HowTextsAreRead)
{
    std::vector<unsigned> key = keyBytes();
    ASSERT_EQ(key.size(), 12u);
    auto k = [&](size_t i, unsigned x) { return std::string(1, static_cast<char>(key[i] ^ x)); };

    const std::string pw = scrambled("Ab1");
    std::string upper = pw;
    for (char &c : upper) {
	c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }

    struct Case {
	const char *what;
	std::string text;
	std::string password;
    };
    const std::vector<Case> cases = {
	{"upper-case digits", upper, "Ab1"},
	{"a last odd character is ignored", pw + "f", "Ab1"},
	{"three characters read like their first two", pw.substr(0, 3), "A"},
	{"a pair of non-digits is 0: the key byte itself", "zz", k(0, 0)},
	{"a digit then a non-digit", "az" "8!", k(0, 0x0a) + k(1, 0x08)},
	{"blanks before a digit are skipped", " f", k(0, 0x0f)},
	{"a plus sign is taken", "+e", k(0, 0x0e)},
	{"a minus sign negates", "-1", k(0, 0xff)},
	{"a pair equal to its key byte ends the password",
	    pw.substr(0, 2) + hexByte(key[1]) + pw.substr(4, 2), "A"},
	{"a zero at the start leaves nothing", hexByte(key[0]) + pw, ""},
    };
    for (const Case &c : cases) {
	SCOPED_TRACE(c.what);
	EXPECT_EQ(unscrambled(c.text), c.password) << "text: " << c.text;
    }
}
