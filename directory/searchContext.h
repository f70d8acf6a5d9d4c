/*
 * searchContext.h --
 *
 *	The search context: the results file of one directory search (its
 *	path and the claim on it, taken when the search starts, and the stream
 *	and reader that hand its entries back), and the process-wide current
 *	search that ldapsearch replaces and ldapsearchgetnextitem reads from.
 *
 *	The current search belongs to the process, not to an interpreter or a
 *	thread: callers hold the directory lock (directoryState.h) for as long
 *	as they use it.
 */

#ifndef HOSTKIT_SEARCH_CONTEXT_H
#define HOSTKIT_SEARCH_CONTEXT_H

#include "directory/base/resultRecord.h"
#include "directory/resultsFilePlatform.h"
#include "directory/searchDriver.h"

#include <cstdio>
#include <memory>
#include <string>

namespace hkdir {

class ResultsReader;

class SearchContext {
public:
    SearchContext();

    /* Closes the read stream, deletes the results file. */
    ~SearchContext();

    SearchContext(const SearchContext &) = delete;
    SearchContext &operator=(const SearchContext &) = delete;

    /*
     * Claims a results file (the next free number), then runDirectorySearch
     * with it. A search that leaves no results (no connection, no bind, a
     * file that cannot be written) deletes the file at once. Throws
     * std::bad_alloc when memory runs out.
     */
    int runSearch(SearchParameters parameters);

    /*
     * Reads the next entry of the results file into the record (every
     * value of a name when the search wrote them all):
     * HK_RESULTS_OK, HK_RESULTS_CANNOT_OPEN when there is no file to read,
     * or a code of ResultsReader::readEntry.
     */
    int readNextRecord(ResultRecord &record);

    /*
     * A record kept for reading entry after entry, so that its storage is
     * reused: it holds the last entry read into it until the next read.
     */
    ResultRecord &scratchRecord() { return scratch_; }

    /* Whether the last search wrote every value of each attribute. */
    bool allValues() const { return allValues_; }

    /* The results path chosen by runSearch (empty before). */
    const std::string &resultsPath() const { return resultsPath_; }

private:
    void claimResultsPath();
    void releaseResults();

    std::string resultsPath_;
    HkpResultsClaim *claim_ = nullptr;
    bool searched_ = false;		/* the last search left a results file */
    bool allValues_ = false;
    std::unique_ptr<FILE, int (*)(FILE *)> resultsFile_;
    std::unique_ptr<ResultsReader> reader_;
    ResultRecord scratch_;
};

/* The current search of the process, or nullptr. */
SearchContext *currentSearch();

/* Destroys the current search, if any. */
void destroyCurrentSearch();

/*
 * Destroys the current search and makes a new context the current one.
 * When that throws std::bad_alloc, there is no current search.
 */
SearchContext &replaceCurrentSearch();

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_CONTEXT_H */
