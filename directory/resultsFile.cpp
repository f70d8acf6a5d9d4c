/*
 * resultsFile.cpp --
 *
 *	Writing attribute fields of the search results file and reading one
 *	entry line back. The reader walks the stream character by character
 *	(holding the stream's lock for the whole entry) and takes long values
 *	as blocks; it keeps one entry in memory and never trusts a length
 *	further than the file can back it.
 *
 *	Reading one field, the stream's way of telling where things end:
 *	  1. skip blanks; the name is the run up to the next blank (none: -20);
 *	  2. skip blanks; the length is a run of decimal digits (none: -30);
 *	  3. one character, whatever it is, separates the length from the value;
 *	  4. exactly length bytes are the value (the file ends first: -50);
 *	  5. one character, whatever it is, follows the value;
 *	  6. the next character, if CR or LF, ends the entry; otherwise it
 *	     belongs to the next field.
 *	So a value may begin or end with blanks and hold any byte, and lines
 *	without fields are passed over by the blank skipping of step 1.
 */

#include "directory/resultsFile.h"

#include "directory/resultsFilePlatform.h"
#include "directory/resultRecord.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

namespace {

/*
 * Values up to this size are read a character at a time into a local
 * buffer; longer ones are allocated only when the file can still hold them.
 */
const uint32_t kShortValueSize = 256;

/* Where the stream tells no size, a long value's buffer starts this large. */
const uint32_t kGrowthStartSize = 64 * 1024;

/* White space between fields, as the C library's isspace() in the C locale. */
inline bool
isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/* Holds the stream's lock while one entry is read. */
class StreamLock {
public:
    explicit StreamLock(FILE *stream) : stream_(stream) { HkpStreamLock(stream_); }
    ~StreamLock() { HkpStreamUnlock(stream_); }
    StreamLock(const StreamLock &) = delete;
    StreamLock &operator=(const StreamLock &) = delete;

private:
    FILE *stream_;
};

/* Reads and drops everything up to the end of the stream. */
void
drainStream(FILE *in)
{
    char scratch[4096];
    while (fread(scratch, 1, sizeof scratch, in) == sizeof scratch) {
    }
}

/*
 * Steps 1 and 2 of one field: the name (a run of non-blank characters
 * after blanks) and the length (decimal digits after blanks). c is the
 * next character of the stream, already taken from it; on success it is
 * the character after the digits, the separator of step 3.
 */
int
readNameAndLength(FILE *in, int &c, char (&name)[HK_RESULTS_NAME_MAX + 1], size_t &nameLength,
	uint32_t &length)
{
    while (c != EOF && isBlank(c)) {
	c = HKP_GETC_LOCKED(in);
    }
    if (c == EOF) {
	return HK_RESULTS_END;
    }

    /*
     * An over-long name is read to its end, so the stream stands where its
     * length would start, and refused: storing a cut name would pass off
     * a different attribute as this one.
     */
    size_t n = 0;
    bool tooLong = false;
    do {
	if (n < HK_RESULTS_NAME_MAX) {
	    name[n++] = static_cast<char>(c);
	} else {
	    tooLong = true;
	}
	c = HKP_GETC_LOCKED(in);
    } while (c != EOF && !isBlank(c));
    name[n] = '\0';
    nameLength = n;
    if (tooLong) {
	if (c != EOF) {
	    ungetc(c, in);
	}
	return HK_RESULTS_BAD_LENGTH;
    }

    while (c != EOF && isBlank(c)) {
	c = HKP_GETC_LOCKED(in);
    }
    if (c < '0' || c > '9') {
	/* The next read starts at what stands where the length should. */
	if (c != EOF) {
	    ungetc(c, in);
	}
	return HK_RESULTS_BAD_LENGTH;
    }

    /* Only digits: no sign, and nothing above the 32-bit range. */
    uint64_t value = 0;
    bool overflow = false;
    do {
	value = value * 10 + static_cast<unsigned>(c - '0');
	if (value > UINT32_MAX) {
	    overflow = true;
	    value = UINT32_MAX;
	}
	c = HKP_GETC_LOCKED(in);
    } while (c >= '0' && c <= '9');
    if (overflow) {
	if (c != EOF) {
	    ungetc(c, in);
	}
	return HK_RESULTS_BAD_LENGTH;
    }
    length = static_cast<uint32_t>(value);
    return HK_RESULTS_OK;
}

/*
 * Steps 3 and 4 for a value longer than kShortValueSize: allocates it and
 * reads length bytes; the separator before them has been taken already (it
 * is given back if the allocation fails, so the stream stands where a
 * failed allocation leaves it). The length is first held against what the
 * file has left; one that cannot fit ends like a value cut by the end of
 * the file, with the stream at its end. Where the stream cannot tell how
 * much is left (a pipe), the buffer grows only as bytes arrive.
 */
int
readLongValue(FILE *in, int separator, uint32_t length, std::unique_ptr<char[]> &value)
{
    size_t capacity = length;
    uint64_t left;
    if (HkpStreamBytesLeft(in, &left)) {
	if (length > left) {
	    drainStream(in);
	    return HK_RESULTS_SHORT_VALUE;
	}
    } else if (length > kGrowthStartSize) {
	capacity = kGrowthStartSize;
    }

    value.reset(new (std::nothrow) char[capacity + 1]);
    if (!value) {
	if (separator != EOF) {
	    ungetc(separator, in);
	}
	return HK_RESULTS_NO_MEMORY;
    }

    size_t got = 0;
    for (;;) {
	got += fread(value.get() + got, 1, capacity - got, in);
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
	    return HK_RESULTS_NO_MEMORY;
	}
	std::copy(value.get(), value.get() + got, bigger.get());
	value = std::move(bigger);
	capacity = grown;
    }
}

/*
 * Steps 3 and 4: reads the value and stores it in the record. Short values,
 * the usual ones, are taken a character at a time into a local buffer and
 * copied into their holder, which keeps the shortest inside itself.
 */
int
readValueInto(FILE *in, int separator, uint32_t length, ResultRecord &record,
	std::string_view name)
{
    try {
	if (length <= kShortValueSize) {
	    char bytes[kShortValueSize];
	    for (uint32_t got = 0; got < length; got++) {
		int c = HKP_GETC_LOCKED(in);
		if (c == EOF) {
		    return HK_RESULTS_SHORT_VALUE;
		}
		bytes[got] = static_cast<char>(c);
	    }
	    record.set(name, std::make_unique<AttributeValue>(bytes, length));
	    return HK_RESULTS_OK;
	}

	std::unique_ptr<char[]> bytes;
	int code = readLongValue(in, separator, length, bytes);
	if (code == HK_RESULTS_OK) {
	    /* The record takes over the buffer: it is the value's own copy. */
	    record.set(name, std::make_unique<AttributeValue>(std::move(bytes), length));
	}
	return code;
    } catch (const std::bad_alloc &) {
	return HK_RESULTS_NO_MEMORY;
    }
}

} // namespace

void
writeAttributeField(FILE *out, const char *name, const char *value, size_t length)
{
    /*
     * "%s %0d %s " with the value taken as exactly length bytes. A length
     * beyond 32 bits is written as it is, and the reader refuses it.
     */
    fprintf(out, "%s %llu ", name, static_cast<unsigned long long>(length));
    fwrite(value, 1, length, out);
    putc(' ', out);
}

void
writeEntryEnd(FILE *out)
{
    fputs("\n", out);
}

int
readResultEntry(FILE *in, ResultRecord &record)
{
    record.clear();

    /*
     * One character of look-ahead stands in for pushing step 6's character
     * back: it is the next character of the stream, already taken. A
     * failure gives back the character it stopped at, so a later call goes
     * on from there.
     */
    StreamLock lock(in);
    char name[HK_RESULTS_NAME_MAX + 1];
    int c = HKP_GETC_LOCKED(in);
    for (;;) {
	size_t nameLength;
	uint32_t length;
	int code = readNameAndLength(in, c, name, nameLength, length);
	if (code != HK_RESULTS_OK) {
	    return code;
	}

	code = readValueInto(in, c, length, record, std::string_view(name, nameLength));
	if (code != HK_RESULTS_OK) {
	    return code;
	}

	(void) HKP_GETC_LOCKED(in);
	c = HKP_GETC_LOCKED(in);
	if (c == '\n' || c == '\r') {
	    return HK_RESULTS_OK;
	}
    }
}
