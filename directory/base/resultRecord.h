/*
 * resultRecord.h --
 *
 *	One entry of a directory search as the results reader hands it back:
 *	a map from attribute name to its values' bytes, walked in key order.
 *	Names compare
 *	without regard to the letter case of A to Z. Storing a name that is
 *	already present either replaces the old entry, name spelling included,
 *	so that the last occurrence wins with its own letter case (set), or
 *	adds the value to those of the old entry (add), for a search that
 *	hands back every value.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_RESULT_RECORD_H
#define HOSTKIT_DIRECTORY_BASE_RESULT_RECORD_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hkdir {

/*
 * The bytes of one value followed by one zero byte, with the number of
 * value bytes (the zero not counted). The value itself may hold zero bytes;
 * the extra one only makes the bytes usable as C text. Short values (most
 * directory attributes) are kept inside the object, longer ones in a heap
 * buffer that it owns.
 */
class AttributeValue {
public:
    /* Values shorter than this are kept inside the object. */
    static const uint32_t INLINE_SIZE = 32;

    /* Copies length bytes. Throws std::bad_alloc when memory runs out. */
    AttributeValue(const char *bytes, uint32_t length);

    /*
     * Takes over a buffer of at least length + 1 bytes allocated with
     * new char[]; writes the terminating zero at bytes[length].
     */
    AttributeValue(std::unique_ptr<char[]> bytes, uint32_t length);

    AttributeValue(const AttributeValue &) = delete;
    AttributeValue &operator=(const AttributeValue &) = delete;
    AttributeValue(AttributeValue &&other) noexcept;
    AttributeValue &operator=(AttributeValue &&other) noexcept;

    const char *bytes() const { return heap_ ? heap_.get() : inline_; }
    uint32_t length() const { return length_; }

private:
    std::unique_ptr<char[]> heap_;
    uint32_t length_;
    char inline_[INLINE_SIZE];
};

/*
 * Case-blind order of attribute names: A to Z count as a to z, the bytes
 * then compare as unsigned values, and a prefix comes first. Only A to Z
 * fold, whatever the locale: names are bytes as the directory library
 * hands them over. Inline, as names are compared many times per entry.
 */
inline int
compareNamesCaseBlind(std::string_view a, std::string_view b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
	unsigned ca = static_cast<unsigned char>(a[i]);
	unsigned cb = static_cast<unsigned char>(b[i]);
	ca += ca - 'A' < 26u ? 'a' - 'A' : 0;
	cb += cb - 'A' < 26u ? 'a' - 'A' : 0;
	if (ca != cb) {
	    return ca < cb ? -1 : 1;
	}
    }
    if (a.size() == b.size()) {
	return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

/*
 * A set of attribute names compared case-blind as above, for telling the
 * first occurrence of a name in an entry from later ones. The names stand
 * in one buffer: no allocation per name. A few names (the usual entry) are
 * found by a scan, more by open addressing.
 */
class NameSet {
public:
    /* Adds the name; false when a name equal to it case-blind is there already. */
    bool insert(std::string_view name);

    /* Empties the set, keeping its storage. */
    void clear();

private:
    /* Names up to this many are found by a scan, more through the hash. */
    static const size_t SCAN_LIMIT = 16;

    struct Slot {
	uint64_t hash;
	uint32_t offset;	/* into names_, plus one; 0: the slot is free */
	uint32_t length;
    };
    struct Span {
	uint32_t offset;	/* into names_ */
	uint32_t length;
    };
    void grow();
    void hashScanned();

    std::string names_;
    std::vector<Span> scanned_;	/* the names while they are scanned */
    std::vector<Slot> slots_;
    bool hashed_ = false;
    size_t count_ = 0;
};

/*
 * The values of one attribute in the order they were stored. The first is
 * held apart, so that the usual attribute of one value costs no list.
 */
class AttributeValues {
public:
    explicit AttributeValues(AttributeValue &&first) : first_(std::move(first)) {}

    size_t count() const { return 1 + more_.size(); }
    const AttributeValue &first() const { return first_; }
    const AttributeValue &operator[](size_t i) const { return i == 0 ? first_ : more_[i - 1]; }

    /* Throws std::bad_alloc when memory runs out. */
    void add(AttributeValue &&value) { more_.push_back(std::move(value)); }

private:
    AttributeValue first_;
    std::vector<AttributeValue> more_;
};

/*
 * The entries are kept in the order stored, found by name through a
 * case-blind hash (short entries, the usual ones, by a plain scan), and
 * put in key order only when walked: the usual entry of a few names costs
 * no tree and no allocation per name once the record has held one as
 * large (clear() keeps the storage).
 */
class ResultRecord {
public:
    typedef std::pair<std::string, AttributeValues> Entry;

    /* Walks the entries in key order. */
    class const_iterator {
    public:
	const_iterator(const ResultRecord *record, size_t at) : record_(record), at_(at) {}
	const Entry &operator*() const { return record_->entries_[record_->order_[at_]]; }
	const Entry *operator->() const { return &**this; }
	const_iterator &operator++() { at_++; return *this; }
	bool operator==(const const_iterator &other) const { return at_ == other.at_; }
	bool operator!=(const const_iterator &other) const { return at_ != other.at_; }

    private:
	const ResultRecord *record_;
	size_t at_;
    };

    ResultRecord() = default;
    ResultRecord(const ResultRecord &) = delete;
    ResultRecord &operator=(const ResultRecord &) = delete;

    /* Removes every entry. */
    void clear();

    /*
     * Stores a copy of the name with the value, which the record now owns
     * (also when this throws std::bad_alloc: the value is then freed),
     * replacing the entry whose name equals this one case-blind. A null
     * value is ignored.
     */
    void set(std::string_view name, std::unique_ptr<AttributeValue> value);
    void set(std::string_view name, AttributeValue &&value);

    /*
     * Adds the value after those already stored under a name equal to this
     * one case-blind (whose spelling stays), or stores it as set() does
     * when there are none. Ownership as for set().
     */
    void add(std::string_view name, std::unique_ptr<AttributeValue> value);
    void add(std::string_view name, AttributeValue &&value);

    /* The entries in key order, names as stored. */
    const_iterator begin() const;
    const_iterator end() const { return const_iterator(this, entries_.size()); }

    size_t size() const { return entries_.size(); }

private:
    /* Entries up to this many are found by a scan, more through the hash. */
    static const size_t SCAN_LIMIT = 16;

    struct Slot {
	uint32_t hash;		/* the low half of the name's hash */
	uint32_t index;		/* into entries_, plus one; 0: the slot is free */
    };

    void store(std::string_view name, AttributeValue &&value, bool replace);
    Entry *find(std::string_view name, uint64_t hash);
    void insertSlot(uint64_t hash, uint32_t index);
    void rehash();

    bool namesAsOrdered() const;

    std::vector<Entry> entries_;
    std::vector<uint64_t> hashes_;	/* of each entry's name, when hashed */
    std::vector<Slot> slots_;		/* empty while entries are scanned */
    /*
     * The key order, and the names it was worked out for (in the order
     * stored, one after the other, with their lengths): kept across
     * clear(), as the next entry usually has the same names.
     */
    mutable std::vector<uint32_t> order_;
    mutable std::string orderedNames_;
    mutable std::vector<uint32_t> orderedLengths_;
    mutable bool ordered_ = true;
};

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_RESULT_RECORD_H */
