/*
 * resultsFile.h --
 *
 *	The search results file: the writer of its attribute fields and entry
 *	line ends, and the reader that hands the entries back one at a time.
 *	Both work on streams that the caller opened in text mode ("w" to
 *	write, "r" to read), so that on Windows the run-time library stores
 *	each LF as CR LF and turns it back; lengths always count the logical
 *	bytes.
 *
 *	An entry line is zero or more fields "NAMELENGTH NAME LENGTH VALUE "
 *	and one LF: the name's length in decimal, a space, exactly that many
 *	bytes of name, a space, the value's length in decimal, a space, exactly
 *	that many bytes of value, a space. Both are counted, so a name may be
 *	as long as the directory makes it and hold blanks, and a value may
 *	hold any byte. An attribute of several values is several fields of
 *	the same name, one per value, in the directory's order.
 */

#ifndef HOSTKIT_DIRECTORY_BASE_RESULTS_FILE_H
#define HOSTKIT_DIRECTORY_BASE_RESULTS_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace hkdir {

class AttributeValue;
class ResultRecord;

/* Result codes of reading one entry. */
enum {
    HK_RESULTS_OK = 0,		/* one entry read into the record */
    HK_RESULTS_CANNOT_OPEN = -10,	/* the file cannot be opened (the caller's
				 * failure; the reader never returns it) */
    HK_RESULTS_END = -20,	/* no further name: end of the results, or a
				 * file that ends inside an entry */
    HK_RESULTS_BAD_LENGTH = -30,/* a name or value without a readable length */
    HK_RESULTS_NO_MEMORY = -40,	/* no memory for the value */
    HK_RESULTS_SHORT_VALUE = -50/* the file ends inside a name or value, or
				 * announces one longer than what is left of it */
};

/*
 * Writes one attribute field (see above): the value's bytes as they are,
 * zero bytes included. False when the stream refuses a write (a full
 * disk); the stream's error flag stays set then.
 */
bool writeAttributeField(FILE *out, std::string_view name, const char *value, size_t length);

/*
 * Writes one attribute field whose value is the lower-case hexadecimal of
 * the bytes given, two digits per byte. False as above, and when the
 * hexadecimal would be longer than a field can announce (4 GB).
 */
bool writeHexField(FILE *out, std::string_view name, const char *value, size_t length);

/* Ends the entry line: "\n". False when the stream refuses the write. */
bool writeEntryEnd(FILE *out);

/*
 * Writes entries as the functions above do, the short fields of an entry
 * gathered first, so that the usual entry costs the stream one write.
 * Long values and hexadecimal fields go to the stream at once, after what
 * is gathered, so that nothing large is copied. Each call returns false
 * when the stream refuses a write (a gathered field may then be the one
 * that failed).
 */
class EntryWriter {
public:
    explicit EntryWriter(FILE *out) : out_(out) {}

    bool field(std::string_view name, const char *value, size_t length);
    bool hexField(std::string_view name, const char *value, size_t length);
    /* Ends the entry line and writes what is gathered. */
    bool endEntry();

private:
    bool flush();

    FILE *out_;
    std::string gathered_;
};

/*
 * Reads the entries of an open stream, one per call. The reader
 * takes the stream in blocks of its own and keeps its place between calls,
 * so nothing else may read the stream while it is in use; the caller keeps
 * the stream open for the reader's life and closes it afterwards.
 */
class ResultsReader {
public:
    /*
     * bytesLeft is an upper bound of the bytes that the stream can still
     * deliver (the file's size less the position); a value longer than that
     * is refused before anything is allocated for it.
     */
    ResultsReader(FILE *in, uint64_t bytesLeft);

    /*
     * For a stream that tells no size (a pipe): a long value's buffer then
     * grows only as its bytes arrive.
     */
    explicit ResultsReader(FILE *in);

    ResultsReader(const ResultsReader &) = delete;
    ResultsReader &operator=(const ResultsReader &) = delete;

    /*
     * Reads the next entry line into the record (which it clears first) and
     * returns HK_RESULTS_OK, or one of the negative codes above. After a
     * failure the record may hold the fields read before it, and the reader
     * stays where the failure left it, so a further call goes on from
     * there; after HK_RESULTS_NO_MEMORY that is the next entry (the rest of
     * the failed one is passed over). Lines without fields are passed over.
     */
    int readEntry(ResultRecord &record);

    /*
     * Fields of one entry that share a name (case-blind): by default the
     * last one replaces the others; collecting keeps every value, in file
     * order, under the first one's spelling.
     */
    void collectValues(bool collect) { collect_ = collect; }

    /*
     * For a stream opened in binary mode on a file whose line ends a
     * Windows text stream wrote (each LF stored as CR LF): the reader turns
     * CR LF back into LF itself, as a text stream would, and takes every
     * other byte as it is. A Windows text stream would also end at the
     * first byte 0x1A, which a value may hold. Set before the first read.
     */
    void translateCrLf(bool translate) { crlf_ = translate; }

private:
    static const size_t BLOCK_SIZE = 64 * 1024;

    int get()
    {
	return pos_ < end_ ? static_cast<unsigned char>(block_[pos_++]) : getFromNextBlock();
    }
    void unget() { pos_--; }
    int getFromNextBlock();
    bool readBlock();
    size_t take(char *to, size_t count);
    size_t readStream(char *to, size_t count);
    size_t joinCrLf(char *bytes, size_t count);
    void countStreamBytes(size_t count);
    void drain();
    void skip(uint64_t count);
    void skipRestOfEntry();
    int failEntry(int code);
    int readLength(int &c, uint32_t &length, int atEnd);
    int readNameAndLength(int &c, uint32_t &length);
    int readLongValue(uint32_t length, std::unique_ptr<char[]> &value);
    void store(ResultRecord &record, std::string_view name, AttributeValue &&value);
    int readValueInto(uint32_t length, ResultRecord &record, std::string_view name);
    int readFieldInBlock(int &c, ResultRecord &record);

    FILE *in_;
    bool bounded_;
    uint64_t streamLeft_;	/* bound of what the stream still holds past the block */
    std::unique_ptr<char[]> block_;
    size_t pos_ = 0;
    size_t end_ = 0;
    std::string name_;		/* the field's name, its storage kept between fields */
    bool collect_ = false;
    bool crlf_ = false;
};

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_BASE_RESULTS_FILE_H */
