/*
 * nulText.h --
 *
 *	Wide text as the system reads a zero-terminated string: up to its
 *	first NUL. File names and the words that the file commands hand on end
 *	there, on every system alike, and messages show them so.
 */

#ifndef HOSTKIT_NUL_TEXT_H
#define HOSTKIT_NUL_TEXT_H

#include "core/base/wideText.h"

namespace hkfiles {

inline WideString
untilNul(const WideString &text)
{
    return text.substr(0, text.find(static_cast<WideChar>(0)));
}

} // namespace hkfiles

#endif /* HOSTKIT_NUL_TEXT_H */
