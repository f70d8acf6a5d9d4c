/*
 * versionInfoReader.h --
 *
 *	VersionInfoReader: holds the version-information block of one file for
 *	the length of one filegetversion call and reads string attributes from
 *	the string table of its first translation.
 */

#ifndef HOSTKIT_VERSION_INFO_READER_H
#define HOSTKIT_VERSION_INFO_READER_H

#include "core/hostkit.h"

#include <cstdint>
#include <memory>

class VersionInfoReader {
public:
    VersionInfoReader();
    virtual ~VersionInfoReader();

    VersionInfoReader(const VersionInfoReader &) = delete;
    VersionInfoReader &operator=(const VersionInfoReader &) = delete;

    /*
     * Reads the version information of the file (a zero-terminated wide
     * name). True exactly when the file has a block whose fixed
     * information carries the signature 0xFEEF04BD.
     */
    bool loadFile(const WideChar *fileName);

    /*
     * The value of a string attribute (a zero-terminated wide name) under
     * the language and code page of the first translation, as a new
     * zero-terminated copy that the caller owns; null when there is none.
     */
    std::unique_ptr<WideChar[]> queryString(const WideChar *attributeName);

    /* The sub-block path buffer of the string look-up, terminator included. */
    static const size_t kSubBlockPathSize = 1024;

private:
    uint32_t fixedInfo_[13];		/* VS_FIXEDFILEINFO; [0] is the signature */
    std::unique_ptr<uint8_t[]> block_;
    uint32_t blockSize_;
    uint16_t language_;
    uint16_t codePage_;
};

#endif /* HOSTKIT_VERSION_INFO_READER_H */
