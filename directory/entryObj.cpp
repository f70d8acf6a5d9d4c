/*
 * entryObj.cpp --
 *
 *	The result object of ldapsearchgetnextitem, made from one entry of the
 *	results file: its text, the list of pairs behind it, and the attribute
 *	names' objects that a thread shares from entry to entry.
 *
 *	Sizes are size_t up to the Tcl boundary and checked there against
 *	what a Tcl object holds (fitsTclText, fitsTclElement); memory for
 *	strings comes from Tcl's attempt allocator. Running short anywhere is
 *	std::bad_alloc, and the objects and buffers made for the entry so far
 *	are freed on the way out.
 */

#include "directory/entryObj.h"

#include "core/base/tclUtf8.h"
#include "directory/base/resultRecord.h"
#include "directory/base/searchText.h"
#include "core/hostkit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace hkdir {

namespace {

/* The longest text that a Tcl object holds, with room for the zero byte after it. */
const size_t LONGEST_TCL_TEXT = static_cast<size_t>(std::numeric_limits<Tcl_Size>::max()) - 1;

} // namespace

bool
fitsTclText(size_t length)
{
    return length <= LONGEST_TCL_TEXT;
}

bool
fitsTclElement(size_t length)
{
    return length <= (LONGEST_TCL_TEXT - 2) / 2;
}

char *
attemptTextBuffer(size_t length)
{
    if (!fitsTclText(length)) {
	return nullptr;
    }
    /*
     * Tcl 8's allocator takes an unsigned int and Tcl 9's a size_t; the
     * bound keeps the size whole in either (no cast to a narrower type).
     */
    return static_cast<char *>(Tcl_AttemptAlloc(length + 1));
}

namespace {

/* Makes the text (from attemptTextBuffer, zero byte written) the object's string form. */
void
adoptText(Tcl_Obj *obj, char *text, size_t length)
{
    Tcl_InvalidateStringRep(obj);
    obj->bytes = text;
    obj->length = static_cast<Tcl_Size>(length);
}

} // namespace

Tcl_Obj *
attemptNewTextObj(const char *bytes, size_t length)
{
    if (length == 0) {
	return Tcl_NewObj();
    }
    char *text = attemptTextBuffer(length);
    if (text == nullptr) {
	return nullptr;
    }
    memcpy(text, bytes, length);
    text[length] = '\0';
    Tcl_Obj *obj = Tcl_NewObj();
    adoptText(obj, text, length);
    return obj;
}

namespace {

/* The text of an entry's object while it is written: freed unless given to the object. */
class TextBuffer {
public:
    /* Throws std::bad_alloc when the room cannot be had. */
    explicit TextBuffer(size_t length) : bytes_(attemptTextBuffer(length)), length_(length) {
	if (bytes_ == nullptr) {
	    throw std::bad_alloc();
	}
	bytes_[length] = '\0';
    }
    ~TextBuffer() {
	if (bytes_ != nullptr) {
	    Tcl_Free(bytes_);
	}
    }
    TextBuffer(const TextBuffer &) = delete;
    TextBuffer &operator=(const TextBuffer &) = delete;

    char *data() { return bytes_; }

    void giveTo(Tcl_Obj *obj) {
	adoptText(obj, bytes_, length_);
	bytes_ = nullptr;
    }

private:
    char *bytes_;
    size_t length_;
};

/*
 * The elements of an entry's list while it is made: the usual entry's in
 * place, a larger one's on the heap. Elements that no list took are freed
 * with it (shared names stay, held by their cache).
 */
class Elements {
public:
    Elements() = default;
    Elements(const Elements &) = delete;
    Elements &operator=(const Elements &) = delete;
    ~Elements() {
	Tcl_Obj **all = begin();
	for (size_t i = 0; i < count_; i++) {
	    Tcl_IncrRefCount(all[i]);
	    Tcl_DecrRefCount(all[i]);
	}
    }

    /* Room for more elements, taken before they are made so that none is made without a place. */
    void reserve(size_t more) {
	if (count_ + more <= IN_PLACE) {
	    return;
	}
	if (!heap_) {
	    onHeap_.reserve(std::max(2 * IN_PLACE, count_ + more));
	    onHeap_.assign(inPlace_, inPlace_ + count_);
	    heap_ = true;
	} else if (onHeap_.capacity() < count_ + more) {
	    onHeap_.reserve(std::max(count_ + more, 2 * onHeap_.capacity()));
	}
    }

    /* Adds an element that has its room; nullptr (memory ran out making it) throws. */
    void add(Tcl_Obj *obj) {
	if (obj == nullptr) {
	    throw std::bad_alloc();
	}
	if (heap_) {
	    onHeap_.push_back(obj);
	} else {
	    inPlace_[count_] = obj;
	}
	count_++;
    }

    /*
     * The list of the elements, which belong to it from then on, with the
     * text as its string form. Throws std::bad_alloc, changing nothing,
     * when Tcl could not hold that many elements.
     */
    Tcl_Obj *newList(TextBuffer &text) {
	if (count_ > LONGEST_TCL_TEXT / sizeof(Tcl_Obj *)) {
	    throw std::bad_alloc();
	}
	Tcl_Obj *list = Tcl_NewListObj(static_cast<Tcl_Size>(count_), begin());
	count_ = 0;
	text.giveTo(list);
	return list;
    }

    /* The usual entry's elements fit in place. */
    static const size_t IN_PLACE = 32;

private:
    Tcl_Obj **begin() { return heap_ ? onHeap_.data() : inPlace_; }

    Tcl_Obj *inPlace_[IN_PLACE];
    std::vector<Tcl_Obj *> onHeap_;
    bool heap_ = false;
    size_t count_ = 0;
};

/*
 * A name that reads back as itself when it stands bare in a list. Only
 * blanks, backslashes and an opening brace or quote matter to list
 * parsing: names with options such as "cn;lang-en" or
 * "userCertificate;binary" stay as the directory spelled them.
 */
bool
isPlainWord(std::string_view name)
{
    if (name.empty() || name[0] == '{' || name[0] == '"') {
	return false;
    }
    for (unsigned char c : name) {
	if (c <= ' ' || c == '\\') {
	    return false;
	}
    }
    return true;
}

/*
 * Appends the bytes as one list element, quoted the way Tcl quotes it.
 * Throws std::bad_alloc when the quoted form might not fit a Tcl object.
 */
void
appendListElement(std::string &out, const char *bytes, size_t length)
{
    if (!fitsTclElement(length)) {
	throw std::bad_alloc();
    }
    int flags = 0;
    Tcl_Size size = Tcl_ScanCountedElement(bytes, static_cast<Tcl_Size>(length), &flags);
    std::string buffer(static_cast<size_t>(size) + 1, '\0');
    Tcl_Size written = Tcl_ConvertCountedElement(bytes, static_cast<Tcl_Size>(length), &buffer[0], flags);
    out.append(buffer.data(), static_cast<size_t>(written));
}

/* An attribute name as a list element: bare when it reads back as itself. */
void
appendName(std::string &out, std::string_view name)
{
    if (isPlainWord(name)) {
	out.append(name.data(), name.size());
    } else {
	appendListElement(out, name.data(), name.size());
    }
}

/*
 * Appends the result text of one entry to out and hands each pair, as the
 * text's list parsing gives it back, to onPair(name, value).
 */
template <typename PairFn>
void
visitEntry(const ResultRecord &record, bool allValues, std::string &out, PairFn onPair)
{
    /* Text that is already Tcl's stays where it is; only other bytes are converted. */
    std::string nameCopy, valueCopy;
    auto asText = [](const char *bytes, size_t length, std::string &copy) {
	if (hkIsTclUtf8(bytes, length)) {
	    return std::string_view(bytes, length);
	}
	copy.resize(hkTclUtf8Length(bytes, length));
	copy.resize(hkToTclUtf8(bytes, length, &copy[0]));
	return std::string_view(copy);
    };
    /* Room for the usual entry at once: each pair is its bytes and four more. */
    size_t room = out.size();
    for (const auto &entry : record) {
	room += entry.first.size() + entry.second.first().length() + 4;
    }
    out.reserve(room);
    std::string list;
    for (const auto &entry : record) {
	if (allValues) {
	    std::string_view name = asText(entry.first.data(), entry.first.size(), nameCopy);
	    appendName(out, name);
	    list.clear();
	    for (size_t i = 0; i < entry.second.count(); i++) {
		const AttributeValue &bytes = entry.second[i];
		std::string_view value = asText(bytes.bytes(), bytes.length(), valueCopy);
		if (i > 0) {
		    list += ' ';
		}
		appendListElement(list, value.data(), value.size());
	    }
	    out += ' ';
	    appendListElement(out, list.data(), list.size());
	    out += ' ';
	    onPair(name, std::string_view(list));
	    continue;
	}
	const AttributeValue &bytes = entry.second.first();
	if (memchr(bytes.bytes(), '\0', bytes.length()) != nullptr) {
	    continue;		/* a zero byte inside: left out */
	}
	std::string_view name = asText(entry.first.data(), entry.first.size(), nameCopy);
	std::string_view value = asText(bytes.bytes(), bytes.length(), valueCopy);
	appendName(out, name);
	if (bracesQuoteSafely(value.data(), value.size())) {
	    out.append(" {", 2);
	    out.append(value.data(), value.size());
	    out.append("} ", 2);
	} else {
	    out += ' ';
	    appendListElement(out, value.data(), value.size());
	    out += ' ';
	}
	onPair(name, value);
    }
}

/*
 * The attribute names of this thread's latest entries as Tcl objects, shared
 * from entry to entry (the same few names come back with every entry).
 * Tcl objects belong to one thread, so each thread keeps its own; they go
 * when the thread ends.
 */
struct NameObjects {
    static const size_t LIMIT = 64;		/* names kept */
    static const size_t LONGEST = 64;	/* bytes of a name kept */
    std::vector<std::pair<std::string, Tcl_Obj *>> names;
};

Tcl_ThreadDataKey nameObjectsKey;

void
freeNameObjects(ClientData data)
{
    NameObjects *cache = static_cast<NameObjects *>(data);
    for (auto &name : cache->names) {
	Tcl_DecrRefCount(name.second);
    }
    delete cache;
}

/* This thread's names, made at its first entry; nullptr when memory ran out. */
NameObjects *
threadNameObjects()
{
    NameObjects **slot = static_cast<NameObjects **>(
	    Tcl_GetThreadData(&nameObjectsKey, static_cast<int>(sizeof(NameObjects *))));
    if (*slot == nullptr) {
	*slot = new (std::nothrow) NameObjects;
	if (*slot != nullptr) {
	    Tcl_CreateThreadExitHandler(freeNameObjects, *slot);
	}
    }
    return *slot;
}

/*
 * A Tcl object of the name: a shared one from the thread's names (cache)
 * for the usual names, else a new one; nullptr when memory runs out. A
 * nullptr cache (a wide entry, of more names than are kept) makes new ones.
 */
Tcl_Obj *
nameObj(NameObjects *cache, std::string_view name)
{
    bool keep = cache != nullptr && name.size() <= NameObjects::LONGEST;
    if (keep) {
	for (auto &known : cache->names) {
	    if (known.first == name) {
		return known.second;
	    }
	}
    }
    Tcl_Obj *obj = attemptNewTextObj(name.data(), name.size());
    if (obj != nullptr && keep && cache->names.size() < NameObjects::LIMIT) {
	try {
	    cache->names.emplace_back(std::string(name), obj);
	    Tcl_IncrRefCount(obj);
	} catch (const std::bad_alloc &) {
	}
    }
    return obj;
}

} // namespace

Tcl_Obj *
newEntryObj(const ResultRecord &record, bool allValues)
{
    std::string text;
    Elements elements;
    NameObjects *cache = record.size() <= NameObjects::LIMIT ? threadNameObjects() : nullptr;
    visitEntry(record, allValues, text, [&](std::string_view name, std::string_view value) {
	elements.reserve(2);
	elements.add(nameObj(cache, name));
	elements.add(attemptNewTextObj(value.data(), value.size()));
    });
    /*
     * The text stays the object's string form, byte for byte, so that it
     * reads as before; the list of pairs behind it spares a script that
     * looks values up (dict get) the parsing of it. (A list, not a
     * dictionary: the module keeps to what every Tcl from 8.4 on offers.)
     */
    TextBuffer bytes(text.size());
    memcpy(bytes.data(), text.data(), text.size());
    return elements.newList(bytes);
}

} // namespace hkdir
