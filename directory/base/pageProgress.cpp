/*
 * pageProgress.cpp --
 *
 *	The progress rule of a paged search (see pageProgress.h). A page is
 *	known by two independent 64-bit hashes of its items, each item's
 *	length and bytes in order, and its count: two different pages taken
 *	for the same would need both hashes to collide at once.
 */

#include "directory/base/pageProgress.h"

namespace hkdir {

namespace {

const uint64_t FNV_PRIME = 1099511628211ULL;
const uint64_t POLY_FACTOR = 0x9E3779B97F4A7C15ULL;

} // namespace

void
PageProgress::add(char kind, std::string_view text)
{
    auto step = [this](unsigned char byte) {
	fnv_ = (fnv_ ^ byte) * FNV_PRIME;
	poly_ = (poly_ + byte + 1) * POLY_FACTOR;
    };
    step(static_cast<unsigned char>(kind));
    uint64_t length = text.size();
    for (int i = 0; i < 8; i++) {
	step(static_cast<unsigned char>(length >> (8 * i)));
    }
    for (unsigned char c : text) {
	step(c);
    }
    count_++;
}

bool
PageProgress::pageEnded(const std::string &cookieSent, const std::string &cookieReceived)
{
    bool progress;
    if (count_ == 0) {
	/* A new cookie is the server's word that it moved on. */
	progress = cookieReceived != cookieSent;
    } else {
	progress = !hadPage_ || count_ != lastCount_ || fnv_ != lastFnv_ || poly_ != lastPoly_;
    }
    hadPage_ = true;
    lastFnv_ = fnv_;
    lastPoly_ = poly_;
    lastCount_ = count_;
    fnv_ = FNV_OFFSET;
    poly_ = 0;
    count_ = 0;
    return progress;
}

} // namespace hkdir
