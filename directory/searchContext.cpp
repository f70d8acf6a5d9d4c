/*
 * searchContext.cpp --
 *
 *	The search context and the current search.
 */

#include "directory/searchContext.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"
#include "directory/resultsFilePlatform.h"

#include <new>
#include <string>

namespace hkdir {

namespace {

/* Numbers tried for a results path whose old file can be deleted. */
const int RESULTS_PATH_ATTEMPTS = 1000;

SearchContext *current = nullptr;

} // namespace

SearchContext::SearchContext()
    : resultsFile_(nullptr, fclose)
{
    resultsPath_[0] = '\0';
    chooseResultsPath();
}

SearchContext::~SearchContext()
{
    /* Only this context's own stream: others in the process are not ours. */
    reader_.reset();
    resultsFile_.reset();
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
    for (int attempt = 0; attempt < RESULTS_PATH_ATTEMPTS; attempt++) {
	resultsPath_[0] = '\0';
	HkpResultsFolder(resultsPath_, sizeof resultsPath_);
	std::string name = "Ldap_" + std::to_string(nextResultsFileNumber()) + ".txt";
	if (resultsPath_[0] == '\0'
		|| !HkpAppendPath(resultsPath_, sizeof resultsPath_, name.c_str())) {
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
SearchContext::runSearch(SearchParameters parameters)
{
    parameters.resultsPath = resultsPath_;
    return runDirectorySearch(parameters);
}

int
SearchContext::readNextRecord(ResultRecord &record)
{
    record.clear();
    try {
	if (!reader_) {
	    if (resultsPath_[0] == '\0') {
		return HK_RESULTS_CANNOT_OPEN;
	    }
	    resultsFile_.reset(HkpOpenResultsFile(resultsPath_));
	    if (!resultsFile_) {
		return HK_RESULTS_CANNOT_OPEN;
	    }
	    uint64_t left = 0;
	    if (HkpStreamBytesLeft(resultsFile_.get(), &left)) {
		reader_.reset(new ResultsReader(resultsFile_.get(), left));
	    } else {
		reader_.reset(new ResultsReader(resultsFile_.get()));
	    }
	}
	return reader_->readEntry(record);
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
}

SearchContext *
currentSearch()
{
    return current;
}

void
destroyCurrentSearch()
{
    delete current;
    current = nullptr;
}

SearchContext &
replaceCurrentSearch()
{
    destroyCurrentSearch();
    current = new SearchContext;
    return *current;
}

} // namespace hkdir
