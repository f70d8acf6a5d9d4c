/*
 * searchContext.cpp --
 *
 *	The search context and the current search.
 */

#include "directory/searchContext.h"
#include "directory/resultRecord.h"
#include "directory/resultsCounter.h"
#include "directory/resultsFile.h"
#include "directory/scramble.h"
#include "directory/searchDriver.h"
#include "directory/resultsFilePlatform.h"

#include <cstring>
#include <new>

namespace {

SearchContext *currentSearch = nullptr;

std::unique_ptr<char[]>
CopyText(const char *text)
{
    if (text == nullptr) {
	return nullptr;
    }
    size_t n = strlen(text) + 1;
    std::unique_ptr<char[]> copy(new char[n]);
    memcpy(copy.get(), text, n);
    return copy;
}

} // namespace

SearchContext::SearchContext()
{
    resultsPath_[0] = '\0';
    attributes_[0] = '\0';
    chooseResultsPath();
}

SearchContext::~SearchContext()
{
    /* Only this context's own stream: others in the process are not ours. */
    if (resultsFile_ != nullptr) {
	fclose(resultsFile_);
	resultsFile_ = nullptr;
    }
    if (resultsPath_[0] != '\0') {
	HkpDeleteResultsFile(resultsPath_);
    }
}

/*
 * Takes the next number until the file of that name is gone. A folder
 * whose files cannot be deleted would make this loop for ever, so it stops
 * after a bounded number of attempts and keeps the last path; writing the
 * results then fails, which the search reports.
 */
void
SearchContext::chooseResultsPath()
{
    for (int attempt = 0; attempt < HK_RESULTS_PATH_ATTEMPTS; attempt++) {
	resultsPath_[0] = '\0';
	HkpResultsFolder(resultsPath_, sizeof resultsPath_);
	char name[32];
	snprintf(name, sizeof name, "Ldap_%u.txt", static_cast<unsigned>(nextResultsFileNumber()));
	if (resultsPath_[0] == '\0' || !HkpAppendPath(resultsPath_, sizeof resultsPath_, name)) {
	    /* A cut path could name somebody else's file: use none at all. */
	    resultsPath_[0] = '\0';
	    return;
	}
	if (HkpDeleteResultsFile(resultsPath_) != HKP_DELETE_FAILED) {
	    return;
	}
    }
}

int
SearchContext::setCredentials(const char *username, const char *password)
{
    username_ = CopyText(username);
    password_ = CopyText(password);
    return 0;
}

int
SearchContext::setScrambledPassword(const char *text)
{
    std::unique_ptr<char[]> plain(unscramblePassword(text));
    if (plain) {
	password_ = std::move(plain);
    }
    return 0;
}

int
SearchContext::setServer(const char *server, long long port)
{
    server_ = CopyText(server);
    uint16_t low = static_cast<uint16_t>(static_cast<unsigned long long>(port) & 0xFFFF);
    port_ = low == 0 ? static_cast<uint16_t>(HK_DEFAULT_PORT) : low;
    return 0;
}

int
SearchContext::setSearchBase(const char *text)
{
    searchBase_ = CopyText(text);
    return 0;
}

int
SearchContext::setSearchFilter(const char *text)
{
    searchFilter_ = CopyText(text);
    return 0;
}

int
SearchContext::setAttributes(const char *text)
{
    size_t n = text ? strnlen(text, HK_ATTRIBUTES_MAX) : 0;
    if (n > 0) {
	memcpy(attributes_, text, n);
    }
    attributes_[n] = '\0';
    return 0;
}

int
SearchContext::setSearchPAB(bool flag)
{
    searchPAB_ = flag;
    return 0;
}

int
SearchContext::runSearch()
{
    return RunDirectorySearch(server_.get(), port_, username_.get(), password_.get(),
	    searchBase_.get(), searchFilter_.get(), attributes_, resultsPath_, !searchPAB_);
}

int
SearchContext::readNextRecord(ResultRecord &record)
{
    record.clear();
    if (resultsFile_ == nullptr) {
	if (resultsPath_[0] == '\0' || (resultsFile_ = HkpOpenResultsFile(resultsPath_)) == nullptr) {
	    return HK_RESULTS_CANNOT_OPEN;
	}
    }
    try {
	return readResultEntry(resultsFile_, record);
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
}

SearchContext *
hkCurrentSearch(void)
{
    return currentSearch;
}

void
hkDestroyCurrentSearch(void)
{
    delete currentSearch;
    currentSearch = nullptr;
}

SearchContext *
hkNewCurrentSearch(void)
{
    hkDestroyCurrentSearch();
    currentSearch = new (std::nothrow) SearchContext;
    return currentSearch;
}
