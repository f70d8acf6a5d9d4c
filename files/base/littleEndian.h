/*
 * littleEndian.h --
 *
 *	Reading the little-endian 16- and 32-bit fields of PE files and
 *	version blocks, whatever the byte order and alignment of the host.
 */

#ifndef HOSTKIT_LITTLE_ENDIAN_H
#define HOSTKIT_LITTLE_ENDIAN_H

#include <cstdint>

namespace hkpe {

inline uint16_t
get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t
get32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
	    | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace hkpe

#endif /* HOSTKIT_LITTLE_ENDIAN_H */
