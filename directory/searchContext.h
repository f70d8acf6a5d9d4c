/*
 * searchContext.h --
 *
 *	The search context: the results file of one directory search (its
 *	path, chosen when the context is made, and the stream and reader that
 *	hand its entries back), and the process-wide current search that
 *	ldapsearch replaces and ldapsearchgetnextitem reads from.
 *
 *	The current search is not guarded by a lock: one search at a time per
 *	process.
 */

#ifndef HOSTKIT_SEARCH_CONTEXT_H
#define HOSTKIT_SEARCH_CONTEXT_H

#include "directory/searchDriver.h"

#include <cstdio>
#include <memory>

namespace hkdir {

class ResultRecord;
class ResultsReader;

/* The longest results path, terminator included: the Windows limit (MAX_PATH). */
enum { HK_RESULTS_PATH_SIZE = 260 };

class SearchContext {
public:
    /*
     * Chooses the results path (and deletes a stale file of that name).
     * Throws std::bad_alloc when memory runs out.
     */
    SearchContext();

    /* Closes the read stream, deletes the results file. */
    ~SearchContext();

    SearchContext(const SearchContext &) = delete;
    SearchContext &operator=(const SearchContext &) = delete;

    /* runDirectorySearch with this context's results file. */
    int runSearch(SearchParameters parameters);

    /*
     * Reads the next entry of the results file into the record:
     * HK_RESULTS_OK, HK_RESULTS_CANNOT_OPEN when the file cannot be opened,
     * or a code of ResultsReader::readEntry.
     */
    int readNextRecord(ResultRecord &record);

private:
    void chooseResultsPath();

    char resultsPath_[HK_RESULTS_PATH_SIZE];
    std::unique_ptr<FILE, int (*)(FILE *)> resultsFile_;
    std::unique_ptr<ResultsReader> reader_;
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
