/*
 * searchContext.h --
 *
 *	The search context: the results file of one directory search (its
 *	path and the claim on it, taken when the search starts, and the stream
 *	and reader that hand its entries back), and the process-wide current
 *	search that ldapsearch replaces and ldapsearchgetnextitem reads from.
 *
 *	The current search belongs to the process, not to an interpreter or a
 *	thread: callers hold the directory lock (directoryState.h) while they
 *	take it, read from it or replace it. The search itself runs without
 *	the lock, so that the directory commands of other threads need not
 *	wait for a server: while it runs, only the thread that runs it touches
 *	the context, and the others see it as running (state()).
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
    enum class State {
	NEW,		/* no search yet */
	RUNNING,	/* a thread runs its search */
	DONE		/* its search is over (or was refused) */
    };

    SearchContext();

    /* Closes the read stream, deletes the results file. */
    ~SearchContext();

    SearchContext(const SearchContext &) = delete;
    SearchContext &operator=(const SearchContext &) = delete;

    /* Under the directory lock: who may touch the context now. */
    State state() const { return state_; }
    void setState(State state) { state_ = state; }

    /*
     * Claims a results file (the next free number), then runDirectorySearch
     * with it, its lines going to sink (nullptr: the process's streams). A
     * search that leaves no results (no connection, no bind, a file that
     * cannot be written) deletes the file at once. Keeps the search's
     * report unless the search did not begin (its words refused). Throws
     * std::bad_alloc when memory runs out.
     */
    int runSearch(SearchParameters parameters, ReportSink sink = nullptr);

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

    /*
     * The report of the search once it is over; nullptr before, and when
     * the search did not begin. It does not change any more.
     */
    std::shared_ptr<const SearchReport> report() const { return report_; }

private:
    void claimResultsPath();
    void releaseResults();

    State state_ = State::NEW;
    std::string resultsPath_;
    HkpResultsClaim *claim_ = nullptr;
    bool searched_ = false;		/* the last search left a results file */
    bool allValues_ = false;
    std::unique_ptr<FILE, int (*)(FILE *)> resultsFile_;
    std::unique_ptr<ResultsReader> reader_;
    ResultRecord scratch_;
    std::shared_ptr<const SearchReport> report_;
};

/* Under the directory lock: the current search of the process, or nullptr. */
std::shared_ptr<SearchContext> currentSearch();

/*
 * Under the directory lock: drops the current search, if any, and makes a
 * new context the current one. The old one is destroyed (its results file
 * deleted) once no thread runs its search any more. When memory runs out
 * (std::bad_alloc), there is no current search.
 */
std::shared_ptr<SearchContext> replaceCurrentSearch();

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_CONTEXT_H */
