/*
 * resultsFile.h --
 *
 *	The search results file: the writer of its attribute fields and entry
 *	line ends, and the reader of one entry line. Both work on streams that
 *	the caller opened in text mode ("w" to write, "r" to read), so that on
 *	Windows the run-time library stores each LF as CR LF and turns it back;
 *	lengths always count the logical bytes.
 *
 *	An entry line is zero or more fields "NAME LENGTH VALUE " and one LF.
 *	Nothing here knows about Tcl.
 */

#ifndef HOSTKIT_RESULTS_FILE_H
#define HOSTKIT_RESULTS_FILE_H

#include <cstddef>
#include <cstdio>

class ResultRecord;

/* Result codes of reading one entry. */
enum {
    HK_RESULTS_OK = 0,		/* one entry read into the record */
    HK_RESULTS_CANNOT_OPEN = -10,	/* the file cannot be opened (the caller's
				 * fopen; readResultEntry never returns it) */
    HK_RESULTS_END = -20,	/* no further name: end of the results, or a
				 * file that ends inside an entry */
    HK_RESULTS_BAD_LENGTH = -30,/* a name without a readable length after it,
				 * or a name longer than HK_RESULTS_NAME_MAX */
    HK_RESULTS_NO_MEMORY = -40,	/* no memory for the value */
    HK_RESULTS_SHORT_VALUE = -50/* the file ends inside a value, or announces
				 * a value longer than what is left of it */
};

/* The longest attribute name the reader accepts, in bytes. */
enum { HK_RESULTS_NAME_MAX = 127 };

/*
 * Writes one attribute field, "%s %0d %s ": the name, a space, length in
 * decimal, a space, exactly length bytes of value, a space. Values never
 * hold NUL bytes (the writer's caller cuts them there).
 */
void writeAttributeField(FILE *out, const char *name, const char *value, size_t length);

/* Ends the entry line: "\n". */
void writeEntryEnd(FILE *out);

/*
 * Reads the next entry line of an open text stream into the record (which
 * it clears first) and returns HK_RESULTS_OK, or one of the negative codes
 * above. After a failure the record may hold the fields read before it,
 * and the stream stays where the failure left it. Lines without fields
 * are passed over. Never allocates more for a value than the file can
 * still hold.
 */
int readResultEntry(FILE *in, ResultRecord &record);

#endif /* HOSTKIT_RESULTS_FILE_H */
