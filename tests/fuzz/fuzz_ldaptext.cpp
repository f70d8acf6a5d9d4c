/*
 * fuzz_ldaptext.cpp --
 *
 *	Fuzzes the text handling of the directory search with arbitrary
 *	bytes: referral URLs, the filter sent, the attribute list, option words
 *	and the brace rule, checking what each promises.
 */

#include "directory/base/searchText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace hkdir;

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string cText = text.substr(0, text.find('\0'));

    ReferralUrl url;
    if (parseReferralUrl(text, url)) {
	if (url.port == 0 || url.port > 65535) {
	    abort();
	}
    }
    std::string decoded = percentDecode(text);
    if (decoded.size() > text.size()) {
	abort();
    }

    std::string filter = buildSearchFilter(cText, true);
    if (filter.find(HK_PRIVATE_EXCLUSION) == std::string::npos) {
	abort();
    }
    if (buildSearchFilter(cText, false) != cText) {
	abort();
    }

    size_t total = 0;
    for (const std::string &name : splitAttributes(cText)) {
	if (name.empty() || name.find_first_of(" \t") != std::string::npos) {
	    abort();
	}
	total += name.size();
    }
    if (total > cText.size()) {
	abort();
    }

    (void) parsePortWord(cText.c_str());
    bool flag = false;
    (void) parseBooleanWord(cText.c_str(), flag);
    if (!equalsCaseBlind(cText.c_str(), cText.c_str())) {
	abort();
    }

    /* Braces that the rule accepts balance, and no backslash is left over at the end. */
    if (bracesQuoteSafely(text.data(), text.size())) {
	int depth = 0;
	size_t i = 0;
	for (; i < text.size(); i++) {
	    if (text[i] == '\\') {
		i++;
	    } else if (text[i] == '{') {
		depth++;
	    } else if (text[i] == '}' && --depth < 0) {
		abort();
	    }
	}
	if (depth != 0 || i > text.size()) {
	    abort();
	}
    }
    return 0;
}
