/*
 * searchContext.h --
 *
 *	The search context: the options, results file path and read stream of
 *	one directory search, and the process-wide current search that
 *	ldapsearch replaces and ldapsearchgetnextitem reads from.
 *
 *	The current search is not guarded by a lock: one search at a time per
 *	process.
 */

#ifndef HOSTKIT_SEARCH_CONTEXT_H
#define HOSTKIT_SEARCH_CONTEXT_H

#include <cstdint>
#include <cstdio>
#include <memory>

class ResultRecord;

enum {
    HK_RESULTS_PATH_SIZE = 260,		/* terminator included */
    HK_ATTRIBUTES_MAX = 1024,		/* characters, terminator not included */
    HK_RESULTS_PATH_ATTEMPTS = 1000,	/* numbers tried for a deletable path */
    HK_DEFAULT_PORT = 389
};

class SearchContext {
public:
    /* Chooses the results path (and deletes a stale file of that name). */
    SearchContext();

    /* Closes the read stream, deletes the results file. */
    virtual ~SearchContext();

    SearchContext(const SearchContext &) = delete;
    SearchContext &operator=(const SearchContext &) = delete;

    int setCredentials(const char *username, const char *password);
    int setScrambledPassword(const char *text);
    int setServer(const char *server, long long port);	/* low 16 bits; 0 is 389 */
    int setSearchBase(const char *text);
    int setSearchFilter(const char *text);
    int setAttributes(const char *text);	/* cut to 1024 characters */
    int setSearchPAB(bool flag);

    /* RunDirectorySearch with this context's values. */
    int runSearch();

    /*
     * Reads the next entry of the results file into the record: 0, -10 when
     * the file cannot be opened, or a code of readResultEntry.
     */
    int readNextRecord(ResultRecord &record);

    const char *resultsPath() const { return resultsPath_; }
    uint16_t port() const { return port_; }
    const char *attributes() const { return attributes_; }
    const char *password() const { return password_.get(); }
    bool searchPAB() const { return searchPAB_; }

private:
    void chooseResultsPath();

    std::unique_ptr<char[]> username_;
    std::unique_ptr<char[]> password_;
    std::unique_ptr<char[]> searchBase_;
    std::unique_ptr<char[]> searchFilter_;
    std::unique_ptr<char[]> server_;
    uint16_t port_ = HK_DEFAULT_PORT;
    char resultsPath_[HK_RESULTS_PATH_SIZE];
    FILE *resultsFile_ = nullptr;
    char attributes_[HK_ATTRIBUTES_MAX + 1];
    bool searchPAB_ = false;
};

/* The current search of the process, or nullptr. */
SearchContext *hkCurrentSearch(void);

/* Destroys the current search, if any. */
void hkDestroyCurrentSearch(void);

/*
 * Builds a new context and makes it the current search; nullptr (and no
 * current search) when memory runs out.
 */
SearchContext *hkNewCurrentSearch(void);

#endif /* HOSTKIT_SEARCH_CONTEXT_H */
