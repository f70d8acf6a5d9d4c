/*
 * resultsFilePlatform.h --
 *
 *	Platform operations on the search results folder and files: where the
 *	folder is, naming, claiming, writing, reading and deleting the files,
 *	and how much an open one has left. Paths are UTF-8 text of any length
 *	the system allows. Defined in directory/unix/unixResultsFile.cpp and
 *	directory/win/winResultsFile.cpp.
 */

#ifndef HOSTKIT_RESULTS_FILE_PLATFORM_H
#define HOSTKIT_RESULTS_FILE_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/*
 * The folder of the search results files: "Ombri\Dialcraft" under the
 * user's application-data folder (Windows: SHGetFolderPathW with
 * CSIDL_APPDATA|CSIDL_FLAG_CREATE; Unix: $XDG_DATA_HOME, else
 * ~/.local/share, "Ombri/Dialcraft"), created with its missing parents
 * (Unix: mode 0700) when it is not there. The name is given even when the
 * folder cannot be made; empty only where the system names no
 * application-data folder at all.
 */
std::string HkpResultsFolder();

/* The folder and the file name with one separator in between. */
std::string HkpJoinPath(const std::string &folder, const std::string &name);

enum HkpDeleteStatus {
    HKP_DELETED = 0,
    HKP_DELETE_MISSING,		/* the file, or a folder on its path, does not
				 * exist */
    HKP_DELETE_FAILED		/* any other reason: in use, access denied */
};
HkpDeleteStatus HkpDeleteResultsFile(const char *path);

/*
 * A results file that one search holds for itself, from before the search
 * writes it until the search is discarded: other processes of the user
 * (whose counters also start at 0) see it in use and take another number,
 * and reading goes to this file whatever becomes of its name.
 */
typedef struct HkpResultsClaim HkpResultsClaim;

enum HkpClaimStatus {
    HKP_CLAIMED = 0,		/* the file is new, empty and this search's */
    HKP_CLAIM_IN_USE,		/* a live search of another process holds the
				 * name, or something that cannot be deleted
				 * stands there: try the next number */
    HKP_CLAIM_FAILED		/* no file can be made there (no folder, no
				 * space, no permission) */
};

/*
 * Creates the results file exclusively (Unix: mode 0600; an older file of
 * that name that no live search holds is deleted first) and holds it.
 */
HkpClaimStatus HkpClaimResultsFile(const std::string &path, HkpResultsClaim **claim);

/*
 * Whether a results file stores each logical LF as CR LF (Windows, whose
 * text streams write it so). The streams opened here for reading are
 * binary on every system; where this is true the reader turns CR LF back
 * into LF itself, so that every byte of a value reads back as it was
 * written (a Windows text stream would end at a byte 0x1A).
 */
bool HkpResultsFileCrLf();

/*
 * Opens the claimed file as a binary stream for reading from its start; null
 * on failure. The stream is not handed down to programs that execprocess
 * starts (close-on-exec on Unix, not inheritable on Windows). The caller
 * closes the stream before releasing the claim.
 */
FILE *HkpReadClaimedResults(HkpResultsClaim *claim);

/*
 * Deletes the claimed file (if its name still names it) and lets it go.
 * Null is allowed.
 */
void HkpReleaseResultsClaim(HkpResultsClaim *claim);

/*
 * Opens a results file as a text stream for writing, truncating it (a
 * claimed file stays the same file); creates it when missing (Unix: mode
 * 0600, the file holds data about people). Null on failure.
 */
FILE *HkpCreateResultsFile(const char *path);

/*
 * Opens a results file by name as a binary stream for reading; null on
 * failure. Not handed down to programs that execprocess starts.
 */
FILE *HkpOpenResultsFile(const char *path);

/*
 * An upper bound of the bytes that a read stream can still deliver: the
 * file's size on disk less the stream's position. A CR LF that the reader
 * joins is two bytes on disk for one logical byte, so the bound holds for
 * logical bytes too. Returns false where no bound is known (not a regular file, no
 * descriptor); *left is then unchanged. The results reader takes it as the
 * limit of what a value's length may claim.
 */
bool HkpStreamBytesLeft(FILE *stream, uint64_t *left);

#endif /* HOSTKIT_RESULTS_FILE_PLATFORM_H */
