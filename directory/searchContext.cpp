/*
 * searchContext.cpp --
 *
 *	The search context and the current search.
 */

#include "directory/searchContext.h"

#include "directory/base/resultRecord.h"
#include "directory/base/resultsFile.h"
#include "directory/directoryState.h"

#include <new>
#include <string>

namespace hkdir {

namespace {

/* Numbers tried for a results file of this search's own. */
const int RESULTS_PATH_ATTEMPTS = 1000;

/*
 * Guarded by the directory lock. Never destroyed: at process end the last
 * search and its results file stay as they are (the next process that
 * takes the name deletes the file), and no destructor runs while other
 * threads may still use the search.
 */
std::shared_ptr<SearchContext> &current = *new std::shared_ptr<SearchContext>;

} // namespace

SearchContext::SearchContext()
    : resultsFile_(nullptr, fclose)
{
}

SearchContext::~SearchContext()
{
    releaseResults();
}

/* Only this context's own stream and file: others in the process are not ours. */
void
SearchContext::releaseResults()
{
    reader_.reset();
    resultsFile_.reset();
    HkpReleaseResultsClaim(claim_);
    claim_ = nullptr;
    searched_ = false;
}

/*
 * Takes the next number until a file of that name is this search's own. A
 * folder whose names are all taken would make this loop for ever, so it
 * stops after a bounded number of attempts and keeps the last path;
 * writing the results then fails, which the search reports with that path.
 */
void
SearchContext::claimResultsPath()
{
    std::string folder = HkpResultsFolder();
    for (int attempt = 0; attempt < RESULTS_PATH_ATTEMPTS; attempt++) {
	resultsPath_ = HkpJoinPath(folder,
		"Ldap_" + std::to_string(nextResultsFileNumber()) + ".txt");
	if (folder.empty() || HkpClaimResultsFile(resultsPath_, &claim_) != HKP_CLAIM_IN_USE) {
	    return;
	}
    }
}

int
SearchContext::runSearch(SearchParameters parameters, ReportSink sink)
{
    releaseResults();
    report_.reset();
    claimResultsPath();
    parameters.resultsPath = resultsPath_;
    allValues_ = parameters.allValues;
    auto report = std::make_shared<SearchReport>(parameters.quiet, sink);
    int result = runDirectorySearch(parameters, *report);
    if (result != HK_SEARCH_BAD_OPTION && result != HK_SEARCH_NO_USER) {
	report_ = report;
    }
    /* Only a refused search has a results file to read: an empty one. */
    if (result < 0 && result != HK_SEARCH_FAILED) {
	if (claim_ == nullptr && !resultsPath_.empty()) {
	    HkpDeleteResultsFile(resultsPath_.c_str());
	}
	releaseResults();
	return result;
    }
    searched_ = true;
    return result;
}

int
SearchContext::readNextRecord(ResultRecord &record)
{
    record.clear();
    try {
	if (!reader_) {
	    if (!searched_) {
		return HK_RESULTS_CANNOT_OPEN;
	    }
	    /* A file that could not be claimed (it should not happen) is read by name. */
	    resultsFile_.reset(claim_ != nullptr ? HkpReadClaimedResults(claim_)
		    : HkpOpenResultsFile(resultsPath_.c_str()));
	    if (!resultsFile_) {
		return HK_RESULTS_CANNOT_OPEN;
	    }
	    uint64_t left = 0;
	    if (HkpStreamBytesLeft(resultsFile_.get(), &left)) {
		reader_.reset(new ResultsReader(resultsFile_.get(), left));
	    } else {
		reader_.reset(new ResultsReader(resultsFile_.get()));
	    }
	    reader_->collectValues(allValues_);
	    reader_->translateCrLf(HkpResultsFileCrLf());
	}
	return reader_->readEntry(record);
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
}

std::shared_ptr<SearchContext>
currentSearch()
{
    return current;
}

std::shared_ptr<SearchContext>
replaceCurrentSearch()
{
    current.reset();
    current = std::make_shared<SearchContext>();
    return current;
}

} // namespace hkdir
