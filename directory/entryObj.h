/*
 * entryObj.h --
 *
 *	The result object of ldapsearchgetnextitem: one entry of the results
 *	file as a Tcl list of its name/value pairs whose string form is the
 *	entry's text. Like Tcl's own tclListObj.c, a file that makes objects
 *	of one kind for the command procedures.
 *
 *	Every byte of an entry's text, names and values comes from Tcl's
 *	attempt allocator after its length is checked against what a Tcl
 *	object holds, so that an entry too large for memory, or for Tcl, fails
 *	the read instead of ending the process.
 */

#ifndef HOSTKIT_DIRECTORY_ENTRY_OBJ_H
#define HOSTKIT_DIRECTORY_ENTRY_OBJ_H

#include <cstddef>

struct Tcl_Obj;

namespace hkdir {

class ResultRecord;

/*
 * Whether a text of length bytes can be the string of a Tcl object: its
 * length a Tcl_Size (int in Tcl 8) with room for the zero byte after it.
 */
bool fitsTclText(size_t length);

/*
 * Whether length bytes can be quoted as a list element by Tcl: its quoting
 * (Tcl_ScanCountedElement) makes at most twice the bytes and two more,
 * which must fit as above.
 */
bool fitsTclElement(size_t length);

/*
 * Room from Tcl's allocator for a text of length bytes and the zero byte
 * after it, to be freed with Tcl_Free or given to an object. nullptr when
 * the length does not fit a Tcl object (nothing is asked of the allocator
 * then) or the allocator refuses.
 */
char *attemptTextBuffer(size_t length);

/*
 * A new Tcl object (reference count 0) whose string is the length bytes,
 * which must be Tcl text. nullptr, and nothing made, when memory or Tcl
 * cannot hold them (the bytes are not read then).
 */
Tcl_Obj *attemptNewTextObj(const char *bytes, size_t length);

/*
 * What ldapsearchgetnextitem returns for one entry: a new Tcl list of its
 * name/value pairs in key order (reference count 0) whose string form is
 * the text "name {value} " per pair, leaving out values that hold a zero
 * byte. With allValues each pair's value is instead the list of all the
 * name's values, zero bytes kept (as Tcl's U+0000). A value (or name) that
 * braces cannot carry is quoted as Tcl's own lists quote it, so that the
 * text always parses back to exactly the list's elements. Names and values
 * are Tcl text (core/base/tclUtf8.h): bytes that are not UTF-8 become the
 * characters of their values.
 *
 * Throws std::bad_alloc when memory runs out or a name, a value or the
 * text is longer than a Tcl object holds; whatever was made for the entry
 * is freed then.
 */
Tcl_Obj *newEntryObj(const ResultRecord &record, bool allValues);

} // namespace hkdir

#endif /* HOSTKIT_DIRECTORY_ENTRY_OBJ_H */
