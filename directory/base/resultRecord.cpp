/*
 * resultRecord.cpp --
 *
 *	AttributeValue and ResultRecord: one entry of the search results as a
 *	case-blind ordered map from attribute name to owned value bytes.
 */

#include "directory/base/resultRecord.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace hkdir {

AttributeValue::AttributeValue(const char *bytes, uint32_t length)
    : length_(length)
{
    char *to = inline_;
    if (length >= INLINE_SIZE) {
	heap_.reset(new char[static_cast<size_t>(length) + 1]);
	to = heap_.get();
    }
    if (length != 0) {
	memcpy(to, bytes, length);
    }
    to[length] = '\0';
}

AttributeValue::AttributeValue(AttributeValue &&other) noexcept
    : heap_(std::move(other.heap_)), length_(other.length_)
{
    if (!heap_) {
	memcpy(inline_, other.inline_, length_ + 1);
    }
}

AttributeValue::AttributeValue(std::unique_ptr<char[]> bytes, uint32_t length)
    : heap_(std::move(bytes)), length_(length)
{
    heap_[length] = '\0';
}

/*
 * The old entry goes first so that the new name's own spelling becomes the
 * key (assigning to the mapped value would keep the old spelling). One
 * search finds both the old entry and the place of the new one.
 */
void
ResultRecord::set(std::string_view name, std::unique_ptr<AttributeValue> value)
{
    if (value) {
	set(name, std::move(*value));
    }
}

void
ResultRecord::add(std::string_view name, std::unique_ptr<AttributeValue> value)
{
    if (value) {
	add(name, std::move(*value));
    }
}

void
ResultRecord::set(std::string_view name, AttributeValue &&value)
{
    /* Names that come in order, as many servers send them, go to the end at once. */
    if (entries_.empty() || compareNamesCaseBlind(entries_.rbegin()->first, name) < 0) {
	entries_.emplace_hint(entries_.end(), std::string(name), AttributeValues(std::move(value)));
	return;
    }
    auto place = entries_.lower_bound(name);
    if (place != entries_.end() && compareNamesCaseBlind(name, place->first) == 0) {
	place = entries_.erase(place);
    }
    entries_.emplace_hint(place, std::string(name), AttributeValues(std::move(value)));
}

void
ResultRecord::add(std::string_view name, AttributeValue &&value)
{
    /* The values of one attribute mostly come one after the other. */
    if (!entries_.empty() && compareNamesCaseBlind(entries_.rbegin()->first, name) == 0) {
	entries_.rbegin()->second.add(std::move(value));
	return;
    }
    auto place = entries_.lower_bound(name);
    if (place != entries_.end() && compareNamesCaseBlind(name, place->first) == 0) {
	place->second.add(std::move(value));
	return;
    }
    entries_.emplace_hint(place, std::string(name), AttributeValues(std::move(value)));
}

namespace {

inline unsigned char
folded(char c)
{
    unsigned u = static_cast<unsigned char>(c);
    return static_cast<unsigned char>(u - 'A' < 26u ? u + ('a' - 'A') : u);
}

/* FNV-1a over the folded bytes. */
uint64_t
caseBlindHash(std::string_view name)
{
    uint64_t h = 14695981039346656037ULL;
    for (char c : name) {
	h = (h ^ folded(c)) * 1099511628211ULL;
    }
    return h;
}

} // namespace

bool
NameSet::insert(std::string_view name)
{
    if ((count_ + 1) * 2 > slots_.size()) {
	grow();
    }
    uint64_t hash = caseBlindHash(name);
    size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
	Slot &slot = slots_[i];
	if (slot.offset == 0) {
	    slot.hash = hash;
	    slot.offset = static_cast<uint32_t>(names_.size()) + 1;
	    slot.length = static_cast<uint32_t>(name.size());
	    names_.append(name.data(), name.size());
	    count_++;
	    return true;
	}
	if (slot.hash == hash && slot.length == name.size()
		&& compareNamesCaseBlind(std::string_view(names_).substr(slot.offset - 1,
			slot.length), name) == 0) {
	    return false;
	}
    }
}

void
NameSet::clear()
{
    if (count_ != 0) {
	std::fill(slots_.begin(), slots_.end(), Slot{0, 0, 0});
    }
    names_.clear();
    count_ = 0;
}

/* Doubles the table (16 slots at first) and places the names again. */
void
NameSet::grow()
{
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{0, 0, 0});
    size_t mask = slots_.size() - 1;
    for (const Slot &slot : old) {
	if (slot.offset != 0) {
	    size_t i = static_cast<size_t>(slot.hash) & mask;
	    while (slots_[i].offset != 0) {
		i = (i + 1) & mask;
	    }
	    slots_[i] = slot;
	}
    }
}

} // namespace hkdir
