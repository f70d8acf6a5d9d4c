/*
 * resultsFile.cpp --
 *
 *	Writing attribute fields of the search results file and reading its
 *	entries back. The reader takes the stream in blocks and walks them
 *	character by character, taking long values as a whole; it keeps one
 *	entry in memory and never trusts a length further than the file can
 *	back it.
 *
 *	Reading one field, the file's way of telling where things end:
 *	  1. skip blanks; the name's length is a run of decimal digits (the
 *	     file ends: -20; something else stands there: -30, and the run of
 *	     non-blank characters there is passed over, as for step 3);
 *	  2. one character, whatever it is, separates it from the name;
 *	     exactly that many bytes are the name (the file ends first: -50);
 *	  3. skip blanks; the value's length is a run of decimal digits (none:
 *	     -30);
 *	  4. one character, whatever it is, separates the length from the value;
 *	     exactly length bytes are the value (the file ends first: -50);
 *	  5. one character, whatever it is, follows the value;
 *	  6. the next character, if CR or LF, ends the entry; otherwise it
 *	     belongs to the next field.
 *	So names and values may begin or end with blanks, be of any length the
 *	file can hold and hold any byte, and lines without fields are passed
 *	over by the blank skipping of step 1.
 */

#include "directory/base/resultsFile.h"

#include "directory/base/resultRecord.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace hkdir {

namespace {

/*
 * Values up to this size are copied out of the block into their holder;
 * longer ones are allocated only when the file can still hold them.
 */
const uint32_t SHORT_VALUE_SIZE = 256;

/* Where the stream tells no size, a long value's buffer starts this large. */
const uint32_t GROWTH_START_SIZE = 64 * 1024;

/* White space between fields, as the C library's isspace() in the C locale. */
inline bool
isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

namespace {

/* Puts the number in decimal and one space before end; returns where it starts. */
char *
lengthBefore(char *end, unsigned long long n)
{
    char *p = end;
    *--p = ' ';
    do {
	*--p = static_cast<char>('0' + n % 10);
	n /= 10;
    } while (n != 0);
    return p;
}

/* Fields up to this size go to the stream in one write. */
const size_t FIELD_BUFFER_SIZE = 512;

/* Gathered fields beyond this size go to the stream before the next one. */
const size_t GATHERED_LIMIT = 64 * 1024;

/* The decimal lengths of a field's name and value, each with its space after it. */
struct FieldLengths {
    FieldLengths(size_t nameLength, unsigned long long valueLength)
	: name(lengthBefore(nameDigits + sizeof nameDigits, nameLength)),
	  value(lengthBefore(valueDigits + sizeof valueDigits, valueLength)),
	  nameSize(static_cast<size_t>(nameDigits + sizeof nameDigits - name)),
	  valueSize(static_cast<size_t>(valueDigits + sizeof valueDigits - value))
    {
    }

    char nameDigits[24];
    char valueDigits[24];
    const char *name;
    const char *value;
    size_t nameSize;
    size_t valueSize;
};

/* Writes a field's head: the name's length, the name, a space and the value's length. */
bool
writeFieldHead(FILE *out, const FieldLengths &lengths, const char *name, size_t nameLength)
{
    return fwrite(lengths.name, 1, lengths.nameSize, out) == lengths.nameSize
	    && fwrite(name, 1, nameLength, out) == nameLength
	    && putc(' ', out) != EOF
	    && fwrite(lengths.value, 1, lengths.valueSize, out) == lengths.valueSize;
}

/*
 * The field in the buffer, when it fits there: returns its length, or 0
 * for a field longer than the buffer.
 */
size_t
formatField(char (&field)[FIELD_BUFFER_SIZE], const char *name, size_t nameLength,
	const char *value, size_t length)
{
    if (nameLength > FIELD_BUFFER_SIZE || length > FIELD_BUFFER_SIZE) {
	return 0;
    }
    FieldLengths lengths(nameLength, length);
    size_t total = lengths.nameSize + nameLength + 1 + lengths.valueSize + length + 1;
    if (total > FIELD_BUFFER_SIZE) {
	return 0;
    }
    char *p = field;
    memcpy(p, lengths.name, lengths.nameSize);
    p += lengths.nameSize;
    memcpy(p, name, nameLength);
    p += nameLength;
    *p++ = ' ';
    memcpy(p, lengths.value, lengths.valueSize);
    p += lengths.valueSize;
    if (length != 0) {
	memcpy(p, value, length);
    }
    p += length;
    *p++ = ' ';
    return total;
}

/*
 * A field written as it is, piece by piece: one that does not fit the
 * buffer. A length beyond 32 bits is written as it is, and the reader
 * refuses it.
 */
bool
writeLongField(FILE *out, const char *name, size_t nameLength, const char *value, size_t length)
{
    return writeFieldHead(out, FieldLengths(nameLength, length), name, nameLength)
	    && fwrite(value, 1, length, out) == length
	    && putc(' ', out) != EOF;
}

} // namespace

bool
writeAttributeField(FILE *out, std::string_view name, const char *value, size_t length)
{
    char field[FIELD_BUFFER_SIZE];
    size_t total = formatField(field, name.data(), name.size(), value, length);
    if (total != 0) {
	return fwrite(field, 1, total, out) == total;
    }
    return writeLongField(out, name.data(), name.size(), value, length);
}

bool
writeHexField(FILE *out, std::string_view name, const char *value, size_t length)
{
    if (length > UINT32_MAX / 2) {
	return false;
    }
    static const char DIGITS[] = "0123456789abcdef";
    if (!writeFieldHead(out, FieldLengths(name.size(), length * 2), name.data(), name.size())) {
	return false;
    }
    char hex[FIELD_BUFFER_SIZE];
    size_t done = 0;
    while (done < length) {
	size_t n = std::min(length - done, sizeof hex / 2);
	for (size_t i = 0; i < n; i++) {
	    unsigned char b = static_cast<unsigned char>(value[done + i]);
	    hex[2 * i] = DIGITS[b >> 4];
	    hex[2 * i + 1] = DIGITS[b & 0x0F];
	}
	if (fwrite(hex, 1, 2 * n, out) != 2 * n) {
	    return false;
	}
	done += n;
    }
    return putc(' ', out) != EOF;
}

bool
writeEntryEnd(FILE *out)
{
    return fputs("\n", out) != EOF;
}

bool
EntryWriter::flush()
{
    if (gathered_.empty()) {
	return true;
    }
    bool written = fwrite(gathered_.data(), 1, gathered_.size(), out_) == gathered_.size();
    gathered_.clear();
    return written;
}

bool
EntryWriter::field(std::string_view name, const char *value, size_t length)
{
    char field[FIELD_BUFFER_SIZE];
    size_t total = formatField(field, name.data(), name.size(), value, length);
    if (total == 0) {
	return flush() && writeLongField(out_, name.data(), name.size(), value, length);
    }
    if (gathered_.size() + total > GATHERED_LIMIT && !flush()) {
	return false;
    }
    try {
	gathered_.append(field, total);
    } catch (const std::bad_alloc &) {
	return flush() && fwrite(field, 1, total, out_) == total;
    }
    return true;
}

bool
EntryWriter::hexField(std::string_view name, const char *value, size_t length)
{
    return flush() && writeHexField(out_, name, value, length);
}

bool
EntryWriter::endEntry()
{
    try {
	gathered_ += '\n';
    } catch (const std::bad_alloc &) {
	return flush() && writeEntryEnd(out_);
    }
    return flush();
}

ResultsReader::ResultsReader(FILE *in, uint64_t bytesLeft)
    : in_(in), bounded_(true), streamLeft_(bytesLeft), block_(new char[BLOCK_SIZE])
{
}

ResultsReader::ResultsReader(FILE *in)
    : in_(in), bounded_(false), streamLeft_(0), block_(new char[BLOCK_SIZE])
{
}

/* What the stream delivered is no longer left in it. */
void
ResultsReader::countStreamBytes(size_t count)
{
    streamLeft_ = count > streamLeft_ ? 0 : streamLeft_ - count;
}

/*
 * Turns each CR LF of the bytes into LF in place and returns how many are
 * left. A CR at the end looks at the stream's next byte: an LF there is
 * taken with it.
 */
size_t
ResultsReader::joinCrLf(char *bytes, size_t count)
{
    char *end = bytes + count;
    char *to = static_cast<char *>(memchr(bytes, '\r', count));
    if (to == nullptr) {
	return count;
    }
    for (char *from = to; from < end; from++) {
	if (*from == '\r') {
	    if (from + 1 < end) {
		if (from[1] == '\n') {
		    continue;
		}
	    } else {
		int next = getc(in_);
		if (next == '\n') {
		    countStreamBytes(1);
		    *to++ = '\n';
		    break;
		}
		if (next != EOF) {
		    ungetc(next, in_);
		}
	    }
	}
	*to++ = *from;
    }
    return static_cast<size_t>(to - bytes);
}

/*
 * Up to count logical bytes from the stream; fewer only at its end. With
 * CR LF translation every CR LF read becomes one LF.
 */
size_t
ResultsReader::readStream(char *to, size_t count)
{
    size_t got = 0;
    while (got < count) {
	size_t n = fread(to + got, 1, count - got, in_);
	countStreamBytes(n);
	if (n == 0) {
	    break;
	}
	got += crlf_ ? joinCrLf(to + got, n) : n;
    }
    return got;
}

/* Replaces the block with the next one; false at the end of the stream. */
bool
ResultsReader::readBlock()
{
    size_t got = readStream(block_.get(), BLOCK_SIZE);
    pos_ = 0;
    end_ = got;
    return got > 0;
}

/*
 * get() when the block is used up. unget() gives back the character that
 * the last get() returned, which is always still in the block.
 */
int
ResultsReader::getFromNextBlock()
{
    if (!readBlock()) {
	return EOF;
    }
    return static_cast<unsigned char>(block_[pos_++]);
}

/*
 * Up to count bytes: what the block holds first, then the stream's. Large
 * remainders go from the stream straight to their place. Fewer than count
 * only at the end of the stream.
 */
size_t
ResultsReader::take(char *to, size_t count)
{
    size_t got = 0;
    while (got < count) {
	if (pos_ == end_) {
	    if (count - got >= BLOCK_SIZE) {
		return got + readStream(to + got, count - got);
	    }
	    if (!readBlock()) {
		return got;
	    }
	}
	size_t n = std::min(count - got, end_ - pos_);
	memcpy(to + got, block_.get() + pos_, n);
	pos_ += n;
	got += n;
    }
    return got;
}

/* Reads and drops everything up to the end of the stream. */
void
ResultsReader::drain()
{
    while (readBlock()) {
    }
}

/* Reads and drops count bytes, or what is left of the stream when that is less. */
void
ResultsReader::skip(uint64_t count)
{
    while (count > 0) {
	if (pos_ == end_ && !readBlock()) {
	    return;
	}
	size_t n = static_cast<size_t>(std::min<uint64_t>(count, end_ - pos_));
	pos_ += n;
	count -= n;
    }
}

/*
 * After a field that memory could not hold, the reader just past its
 * value: passes over the rest of the entry, every length counted as in
 * reading, so that the next call starts at the next entry and no byte of
 * this one is taken for a field of its own. A rest that is damaged stops
 * the passing over where reading it would have failed.
 */
void
ResultsReader::skipRestOfEntry()
{
    (void) get();
    int c = get();
    while (c != EOF && c != '\n' && c != '\r') {
	uint32_t nameLength, valueLength;
	if (readLength(c, nameLength, HK_RESULTS_END) != HK_RESULTS_OK) {
	    return;
	}
	skip(nameLength);
	c = get();
	if (readLength(c, valueLength, HK_RESULTS_BAD_LENGTH) != HK_RESULTS_OK) {
	    return;
	}
	skip(valueLength);
	(void) get();
	c = get();
    }
}

/*
 * A run of decimal digits after blanks, into length. c is the next
 * character, already taken; on success it is the character after the
 * digits. Nothing but digits (no sign), nothing above the 32-bit range:
 * -30, the reader then past the run of characters that stood there. The
 * end of the file before any digit is the given code.
 */
int
ResultsReader::readLength(int &c, uint32_t &length, int atEnd)
{
    while (c != EOF && isBlank(c)) {
	c = get();
    }
    if (c == EOF) {
	return atEnd;
    }
    if (c < '0' || c > '9') {
	/*
	 * What stands where the length should is passed over up to the next
	 * blank, so that a further read makes progress.
	 */
	do {
	    c = get();
	} while (c != EOF && !isBlank(c));
	return HK_RESULTS_BAD_LENGTH;
    }

    uint64_t value = 0;
    bool overflow = false;
    do {
	value = value * 10 + static_cast<unsigned>(c - '0');
	if (value > UINT32_MAX) {
	    overflow = true;
	    value = UINT32_MAX;
	}
	c = get();
    } while (c >= '0' && c <= '9');
    if (overflow) {
	while (c != EOF && !isBlank(c)) {
	    c = get();
	}
	return HK_RESULTS_BAD_LENGTH;
    }
    length = static_cast<uint32_t>(value);
    return HK_RESULTS_OK;
}

/*
 * Steps 1 to 3 of one field: the name's length, the name, and the value's
 * length. c is the next character, already taken; on success it is the
 * character after the value's digits, the separator of step 4. A name
 * longer than the file can still hold ends like a cut value, with the
 * reader at the end. A name that memory cannot hold is -40, the reader
 * then past the field's value.
 */
int
ResultsReader::readNameAndLength(int &c, uint32_t &length)
{
    uint32_t nameLength;
    int code = readLength(c, nameLength, HK_RESULTS_END);
    if (code != HK_RESULTS_OK) {
	return code;
    }
    if (bounded_ && nameLength > streamLeft_ + (end_ - pos_)) {
	drain();
	return HK_RESULTS_SHORT_VALUE;
    }
    /* Grows only as bytes arrive, where the stream tells no size. */
    name_.clear();
    uint32_t got = 0;
    while (got < nameLength) {
	uint32_t step = std::min<uint32_t>(nameLength - got, static_cast<uint32_t>(BLOCK_SIZE));
	try {
	    name_.resize(got + step);
	} catch (const std::bad_alloc &) {
	    std::string().swap(name_);	/* what it grew to goes too */
	    skip(nameLength - got);
	    c = get();
	    int code = readLength(c, length, HK_RESULTS_BAD_LENGTH);
	    if (code != HK_RESULTS_OK) {
		return code;
	    }
	    skip(length);
	    return HK_RESULTS_NO_MEMORY;
	}
	size_t n = take(&name_[got], step);
	got += static_cast<uint32_t>(n);
	if (n < step) {
	    return HK_RESULTS_SHORT_VALUE;
	}
    }
    c = get();
    return readLength(c, length, HK_RESULTS_BAD_LENGTH);
}

/*
 * Steps 3 and 4 for a value longer than SHORT_VALUE_SIZE: allocates it and
 * reads length bytes; the separator before them has been taken already.
 * A value that memory cannot hold is passed over, the reader then past it.
 * The length is first held against what the file has left; one that
 * cannot fit ends like a value cut by the end of the file, with the reader
 * at its end. Where the stream cannot tell how much is left (a pipe), the
 * buffer grows only as bytes arrive.
 */
int
ResultsReader::readLongValue(uint32_t length, std::unique_ptr<char[]> &value)
{
    size_t capacity = length;
    if (bounded_) {
	if (length > streamLeft_ + (end_ - pos_)) {
	    drain();
	    return HK_RESULTS_SHORT_VALUE;
	}
    } else if (length > GROWTH_START_SIZE) {
	capacity = GROWTH_START_SIZE;
    }

    value.reset(new (std::nothrow) char[capacity + 1]);
    if (!value) {
	skip(length);
	return HK_RESULTS_NO_MEMORY;
    }

    size_t got = 0;
    for (;;) {
	got += take(value.get() + got, capacity - got);
	if (got == length) {
	    return HK_RESULTS_OK;
	}
	if (got < capacity) {
	    value.reset();
	    return HK_RESULTS_SHORT_VALUE;
	}
	size_t grown = capacity * 2 < length ? capacity * 2 : length;
	std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown + 1]);
	if (!bigger) {
	    value.reset();
	    skip(length - got);
	    return HK_RESULTS_NO_MEMORY;
	}
	std::copy(value.get(), value.get() + got, bigger.get());
	value = std::move(bigger);
	capacity = grown;
    }
}

/* Stores one field's value: replacing an earlier one of the name, or after it. */
void
ResultsReader::store(ResultRecord &record, std::string_view name, AttributeValue &&value)
{
    if (collect_) {
	record.add(name, std::move(value));
    } else {
	record.set(name, std::move(value));
    }
}

/*
 * Steps 3 and 4: reads the value and stores it in the record. Short values,
 * the usual ones, are copied into their holder, which keeps the shortest
 * inside itself. When memory runs out the reader is past the value.
 */
int
ResultsReader::readValueInto(uint32_t length, ResultRecord &record, std::string_view name)
{
    try {
	if (length <= SHORT_VALUE_SIZE) {
	    char bytes[SHORT_VALUE_SIZE];
	    if (take(bytes, length) < length) {
		return HK_RESULTS_SHORT_VALUE;
	    }
	    store(record, name, AttributeValue(bytes, length));
	    return HK_RESULTS_OK;
	}

	std::unique_ptr<char[]> bytes;
	int code = readLongValue(length, bytes);
	if (code == HK_RESULTS_OK) {
	    /* The record takes over the buffer: it is the value's own copy. */
	    store(record, name, AttributeValue(std::move(bytes), length));
	}
	return code;
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
}

namespace {

/*
 * A run of decimal digits after blanks, from p on, within the block that
 * ends at end; p is left after the digits. False when the run is missing,
 * reaches the block's end or goes beyond the 32-bit range.
 */
bool
lengthInBlock(const char *&p, const char *end, uint32_t &length)
{
    while (p < end && isBlank(static_cast<unsigned char>(*p))) {
	p++;
    }
    const char *start = p;
    uint64_t value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < 10) {
	value = value * 10 + static_cast<unsigned>(*p - '0');
	p++;
    }
    if (p == start || p == end || (*p >= '0' && *p <= '9') || value > UINT32_MAX) {
	return false;
    }
    length = static_cast<uint32_t>(value);
    return true;
}

} // namespace

/*
 * Steps 1 to 6 of one field read where it lies, for the usual field that
 * the block holds whole with a short value: the name is not copied and
 * the characters are not taken one by one. c is the field's first
 * character, already taken, as for the general way. HK_RESULTS_OK with c
 * the character of step 6; HK_RESULTS_END, nothing changed, when the field
 * is not of that kind (the general way then reads it, with every check and
 * failure of its own); HK_RESULTS_NO_MEMORY as the general way fails.
 */
int
ResultsReader::readFieldInBlock(int &c, ResultRecord &record)
{
    if (c == EOF || pos_ == 0) {
	return HK_RESULTS_END;
    }
    const char *block = block_.get();
    const char *end = block + end_;
    const char *p = block + pos_ - 1;	/* where c stands */
    uint32_t nameLength, valueLength;
    if (!lengthInBlock(p, end, nameLength)) {
	return HK_RESULTS_END;
    }
    p++;
    if (static_cast<size_t>(end - p) <= nameLength) {
	return HK_RESULTS_END;
    }
    const char *name = p;
    p += nameLength;
    if (!lengthInBlock(p, end, valueLength) || valueLength > SHORT_VALUE_SIZE) {
	return HK_RESULTS_END;
    }
    p++;
    /* The value, the character after it and that of step 6. */
    if (static_cast<size_t>(end - p) < static_cast<size_t>(valueLength) + 2) {
	return HK_RESULTS_END;
    }
    const char *value = p;
    pos_ = static_cast<size_t>(p + valueLength - block);
    try {
	store(record, std::string_view(name, nameLength), AttributeValue(value, valueLength));
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
    pos_ += 2;
    c = static_cast<unsigned char>(block[pos_ - 1]);
    return HK_RESULTS_OK;
}

/* A failed entry: after one of memory the rest of the entry is passed over too. */
int
ResultsReader::failEntry(int code)
{
    if (code == HK_RESULTS_NO_MEMORY) {
	skipRestOfEntry();
    }
    return code;
}

int
ResultsReader::readEntry(ResultRecord &record)
{
    record.clear();

    /*
     * One character of look-ahead stands in for giving step 6's character
     * back: it is the next character, already taken. A failure gives back
     * the character it stopped at, so a later call goes on from there.
     */
    int c = get();
    for (;;) {
	int code = readFieldInBlock(c, record);
	if (code == HK_RESULTS_OK) {
	    if (c == '\n' || c == '\r') {
		return HK_RESULTS_OK;
	    }
	    continue;
	}
	if (code != HK_RESULTS_END) {
	    return failEntry(code);
	}

	uint32_t length;
	code = readNameAndLength(c, length);
	if (code == HK_RESULTS_OK) {
	    code = readValueInto(length, record, name_);
	}
	if (code != HK_RESULTS_OK) {
	    return failEntry(code);
	}

	(void) get();
	c = get();
	if (c == '\n' || c == '\r') {
	    return HK_RESULTS_OK;
	}
    }
}

} // namespace hkdir
