/*
 * resultRecord.cpp --
 *
 *	AttributeValue and ResultRecord: one entry of the search results as a
 *	case-blind ordered map from attribute name to owned value bytes.
 */

#include "directory/base/resultRecord.h"

#include <algorithm>
#include <cstring>
#include <new>
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

AttributeValue &
AttributeValue::operator=(AttributeValue &&other) noexcept
{
    if (this != &other) {
	heap_ = std::move(other.heap_);
	length_ = other.length_;
	if (!heap_) {
	    memcpy(inline_, other.inline_, length_ + 1);
	}
    }
    return *this;
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
    if (!hashed_) {
	for (const Span &span : scanned_) {
	    if (span.length == name.size() && compareNamesCaseBlind(
		    std::string_view(names_.data() + span.offset, span.length), name) == 0) {
		return false;
	    }
	}
	if (scanned_.size() < SCAN_LIMIT) {
	    scanned_.push_back(Span{static_cast<uint32_t>(names_.size()),
		    static_cast<uint32_t>(name.size())});
	    names_.append(name.data(), name.size());
	    count_++;
	    return true;
	}
	hashScanned();
    }
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

/* From scanning to the hash: the names scanned so far go into the table. */
void
NameSet::hashScanned()
{
    size_t size = slots_.empty() ? 64 : slots_.size();
    while (size < (count_ + 1) * 2) {
	size *= 2;
    }
    slots_.assign(size, Slot{0, 0, 0});
    size_t mask = slots_.size() - 1;
    for (const Span &span : scanned_) {
	uint64_t hash = caseBlindHash(std::string_view(names_.data() + span.offset, span.length));
	size_t i = static_cast<size_t>(hash) & mask;
	while (slots_[i].offset != 0) {
	    i = (i + 1) & mask;
	}
	slots_[i] = Slot{hash, span.offset + 1, span.length};
    }
    scanned_.clear();
    hashed_ = true;
}

void
NameSet::clear()
{
    if (hashed_) {
	std::fill(slots_.begin(), slots_.end(), Slot{0, 0, 0});
    }
    hashed_ = false;
    scanned_.clear();
    names_.clear();
    count_ = 0;
}

/* Doubles the table and places the names again. */
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

void
ResultRecord::clear()
{
    entries_.clear();
    hashes_.clear();
    slots_.clear();
    ordered_ = false;
}

/* Places an entry's index in the hash table, which has a free slot. */
void
ResultRecord::insertSlot(uint64_t hash, uint32_t index)
{
    size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots_[i].index != 0) {
	i = (i + 1) & mask;
    }
    slots_[i] = Slot{static_cast<uint32_t>(hash), index + 1};
}

/* Makes the hash table at least twice as large as the entries, from the entries. */
void
ResultRecord::rehash()
{
    while (hashes_.size() < entries_.size()) {
	hashes_.push_back(caseBlindHash(entries_[hashes_.size()].first));
    }
    size_t size = 64;
    while (size < entries_.size() * 2) {
	size *= 2;
    }
    slots_.assign(size, Slot{0, 0});
    for (size_t k = 0; k < entries_.size(); k++) {
	insertSlot(hashes_[k], static_cast<uint32_t>(k));
    }
}

/* The entry whose name equals this one case-blind, or nullptr. */
ResultRecord::Entry *
ResultRecord::find(std::string_view name, uint64_t hash)
{
    if (slots_.empty()) {
	for (Entry &entry : entries_) {
	    if (entry.first.size() == name.size() && compareNamesCaseBlind(entry.first, name) == 0) {
		return &entry;
	    }
	}
	return nullptr;
    }
    size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask; slots_[i].index != 0; i = (i + 1) & mask) {
	Entry &entry = entries_[slots_[i].index - 1];
	if (slots_[i].hash == static_cast<uint32_t>(hash)
		&& compareNamesCaseBlind(entry.first, name) == 0) {
	    return &entry;
	}
    }
    return nullptr;
}

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

/* The last occurrence wins with its own spelling (its place in key order is the same). */
void
ResultRecord::set(std::string_view name, AttributeValue &&value)
{
    store(name, std::move(value), true);
}

void
ResultRecord::add(std::string_view name, AttributeValue &&value)
{
    store(name, std::move(value), false);
}

void
ResultRecord::store(std::string_view name, AttributeValue &&value, bool replace)
{
    bool hashed = !slots_.empty();
    uint64_t hash = hashed ? caseBlindHash(name) : 0;
    Entry *entry = find(name, hash);
    if (entry != nullptr) {
	if (replace) {
	    entry->first.assign(name.data(), name.size());
	    entry->second = AttributeValues(std::move(value));
	} else {
	    entry->second.add(std::move(value));
	}
	return;
    }
    entries_.emplace_back(std::string(name), AttributeValues(std::move(value)));
    ordered_ = false;
    if (hashed) {
	hashes_.push_back(hash);
	if (entries_.size() * 2 > slots_.size()) {
	    rehash();
	} else {
	    insertSlot(hash, static_cast<uint32_t>(entries_.size() - 1));
	}
    } else if (entries_.size() > SCAN_LIMIT) {
	rehash();
    }
}

/* Whether the names stored are, in order and byte for byte, those order_ was worked out for. */
bool
ResultRecord::namesAsOrdered() const
{
    if (orderedLengths_.size() != entries_.size() || order_.size() != entries_.size()) {
	return false;
    }
    size_t offset = 0;
    for (size_t k = 0; k < entries_.size(); k++) {
	const std::string &name = entries_[k].first;
	if (name.size() != orderedLengths_[k]
		|| memcmp(orderedNames_.data() + offset, name.data(), name.size()) != 0) {
	    return false;
	}
	offset += name.size();
    }
    return true;
}

ResultRecord::const_iterator
ResultRecord::begin() const
{
    if (!ordered_ && !namesAsOrdered()) {
	order_.resize(entries_.size());
	for (size_t k = 0; k < order_.size(); k++) {
	    order_[k] = static_cast<uint32_t>(k);
	}
	auto before = [this](uint32_t a, uint32_t b) {
	    return compareNamesCaseBlind(entries_[a].first, entries_[b].first) < 0;
	};
	/* Many servers send the names in order already: then one pass tells. */
	if (!std::is_sorted(order_.begin(), order_.end(), before)) {
	    std::sort(order_.begin(), order_.end(), before);
	}
	/* Remembered for the next entry; one too large to copy is simply not. */
	try {
	    orderedNames_.clear();
	    orderedLengths_.clear();
	    for (const Entry &entry : entries_) {
		orderedNames_ += entry.first;
		orderedLengths_.push_back(static_cast<uint32_t>(entry.first.size()));
	    }
	} catch (const std::bad_alloc &) {
	    orderedNames_.clear();
	    orderedLengths_.clear();
	}
    }
    ordered_ = true;
    return const_iterator(this, 0);
}

} // namespace hkdir
