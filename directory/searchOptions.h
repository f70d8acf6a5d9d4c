/*
 * searchOptions.h --
 *
 *	The option words of ldapsearch ("server", "port", ... each followed by
 *	its value) read into the parameters of one search.
 */

#ifndef HOSTKIT_SEARCH_OPTIONS_H
#define HOSTKIT_SEARCH_OPTIONS_H

#include "directory/searchDriver.h"

namespace hkdir {

/* The longest desiredAttributes value kept, in characters. */
enum { HK_ATTRIBUTES_MAX = 1024 };

/*
 * Reads name/value pairs (count words, a trailing name without a value is
 * ignored). Names match case-blind, the last occurrence of a name wins,
 * unknown names are skipped with their values. Options not given keep
 * their defaults; the results path is left empty. Throws std::bad_alloc
 * when memory runs out.
 */
SearchParameters readSearchOptions(int count, const char *const words[]);

} // namespace hkdir

#endif /* HOSTKIT_SEARCH_OPTIONS_H */
