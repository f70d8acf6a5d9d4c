/*
 * resultsFilePlatform.h --
 *
 *	Platform operations on the search results folder and files: where the
 *	folder is, naming, deleting, creating and opening the files, and how
 *	much an open one has left. Defined in directory/unix/unixResultsFile.cpp
 *	and directory/win/winResultsFile.cpp.
 */

#ifndef HOSTKIT_RESULTS_FILE_PLATFORM_H
#define HOSTKIT_RESULTS_FILE_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

/*
 * Writes the folder of the search results files into path (size bytes,
 * terminator included): "Ombri\Dialcraft" under the user's application-data
 * folder (Windows: SHGetFolderPathA with CSIDL_APPDATA|CSIDL_FLAG_CREATE;
 * Unix: $XDG_DATA_HOME, else ~/.local/share, "Ombri/Dialcraft"), creating it
 * with its missing parents (Unix: mode 0700). Leaves path empty when the
 * folder's name does not fit.
 */
void HkpResultsFolder(char *path, size_t size);

/*
 * Appends a file name to a folder path with one separator in between. False,
 * with path unchanged, when the result does not fit into size bytes.
 */
bool HkpAppendPath(char *path, size_t size, const char *name);

enum HkpDeleteStatus {
    HKP_DELETED = 0,
    HKP_DELETE_MISSING,		/* the file, or a folder on its path, does not
				 * exist */
    HKP_DELETE_FAILED		/* any other reason: in use, access denied */
};
HkpDeleteStatus HkpDeleteResultsFile(const char *path);

/*
 * Creates or truncates a results file and opens it as a text stream for
 * writing; null on failure. Unix: mode 0600, the file holds data about
 * people.
 */
FILE *HkpCreateResultsFile(const char *path);

/*
 * Opens a results file as a text stream for reading; null on failure. The
 * stream is not handed down to programs that execprocess starts while a
 * search is being read (close-on-exec on Unix, not inheritable on Windows),
 * so that such a program cannot keep the file from being deleted.
 */
FILE *HkpOpenResultsFile(const char *path);

/*
 * An upper bound of the bytes that a read stream can still deliver: the
 * file's size on disk less the stream's position. In a Windows text stream
 * every logical byte takes at least one byte on disk, so the bound holds
 * there too. Returns false where no bound is known (not a regular file, no
 * descriptor); *left is then unchanged. The results reader takes it as the
 * limit of what a value's length may claim.
 */
bool HkpStreamBytesLeft(FILE *stream, uint64_t *left);

#endif /* HOSTKIT_RESULTS_FILE_PLATFORM_H */
