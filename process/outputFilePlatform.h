/*
 * outputFilePlatform.h --
 *
 *	Platform operations that read a program's output files back, in
 *	binary (no translation, no end-of-file byte), and remove them.
 *	Defined in process/unix/unixOutputFile.cpp and
 *	process/win/winOutputFile.cpp.
 */

#ifndef HOSTKIT_OUTPUT_FILE_PLATFORM_H
#define HOSTKIT_OUTPUT_FILE_PLATFORM_H

#include "core/base/wideText.h"

#include <cstddef>
#include <cstdint>

/* An output file open for reading. */
typedef struct HkpOutputFile HkpOutputFile;

enum HkpOutputOpenStatus {
    HKP_OUTPUT_OPENED,
    HKP_OUTPUT_MISSING,		/* no such file, or it does not open */
    HKP_OUTPUT_NOT_A_FILE	/* a FIFO, a device, a socket, a directory */
};

/*
 * Opens a regular file for reading, without ever blocking; null when it
 * does not open, and for an empty name or one holding a NUL
 * (HKP_OUTPUT_MISSING), and for anything but a regular file
 * (HKP_OUTPUT_NOT_A_FILE): a FIFO or a device is written to, never read
 * back. On Windows a sharing violation (the child's write handle, which
 * Wine may close a moment after the process has ended) is retried for up
 * to two seconds.
 */
HkpOutputFile *HkpOpenOutputFile(const WideString &name, HkpOutputOpenStatus *status);

/* True with the file's size now; false when it is not known. */
bool HkpOutputFileSize(HkpOutputFile *file, uint64_t *size);

/*
 * Reads up to `size` bytes. True with the count in *got (0 at the end of
 * the file); false when the read failed.
 */
bool HkpReadOutputFile(HkpOutputFile *file, char *buffer, size_t size, size_t *got);

/* Closes the file and frees what holds it. */
void HkpCloseOutputFile(HkpOutputFile *file);

/*
 * Removes the file. One that cannot be removed stays, with nobody told:
 * its content has been delivered. A name holding a NUL names no file and
 * removes nothing.
 */
void HkpRemoveOutputFile(const WideString &name);

#endif /* HOSTKIT_OUTPUT_FILE_PLATFORM_H */
