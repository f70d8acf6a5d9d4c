/*
 * pageProgress.h --
 *
 *	Whether a paged search goes forward. A server may hand out the same
 *	cookie on every page of one search (the cookie names the search, not
 *	the place in it), so a cookie seen before is no sign of a loop. What
 *	is: a page that brings nothing and keeps the cookie it was asked
 *	with, or a page that brings back exactly what the page before
 *	brought. Only a fingerprint of the last page is kept, so memory stays
 *	the same however many pages come.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_PAGE_PROGRESS_H
#define HOSTKIT_DIRECTORY_BASE_PAGE_PROGRESS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace hkdir {

class PageProgress {
public:
    /* One entry of the current page, by its DN. */
    void entry(std::string_view dn) { add('E', dn); }

    /* One search reference of the current page, by its first URL. */
    void reference(std::string_view url) { add('R', url); }

    /*
     * The current page has ended with a cookie to go on from: false when
     * the server made no progress with it. Starts the next page.
     */
    bool pageEnded(const std::string &cookieSent, const std::string &cookieReceived);

private:
    void add(char kind, std::string_view text);

    static const uint64_t FNV_OFFSET = 14695981039346656037ULL;

    uint64_t fnv_ = FNV_OFFSET;	/* two hashes of the page's items in order */
    uint64_t poly_ = 0;
    uint64_t count_ = 0;
    uint64_t lastFnv_ = 0;
    uint64_t lastPoly_ = 0;
    uint64_t lastCount_ = 0;
    bool hadPage_ = false;
};

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_PAGE_PROGRESS_H */
