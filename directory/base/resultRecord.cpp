/*
 * resultRecord.cpp --
 *
 *	AttributeValue and ResultRecord: one entry of the search results as a
 *	case-blind ordered map from attribute name to owned value bytes.
 */

#include "directory/base/resultRecord.h"

#include <cstring>
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

AttributeValue::AttributeValue(std::unique_ptr<char[]> bytes, uint32_t length)
    : heap_(std::move(bytes)), length_(length)
{
    heap_[length] = '\0';
}

/*
 * The old entry goes first so that the new name's own spelling becomes the
 * key (assigning to the mapped value would keep the old spelling). One
 * search finds both the old entry and the place of the new one.
 */
void
ResultRecord::set(std::string_view name, std::unique_ptr<AttributeValue> value)
{
    if (!value) {
	return;
    }
    auto place = entries_.lower_bound(name);
    if (place != entries_.end() && compareNamesCaseBlind(name, place->first) == 0) {
	place = entries_.erase(place);
    }
    entries_.emplace_hint(place, std::string(name), std::move(value));
}

} // namespace hkdir
