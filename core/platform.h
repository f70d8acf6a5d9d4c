/*
 * platform.h --
 *
 *	The table of platform operations that command code calls. Each
 *	operation is declared once here and defined twice: in core/win/ with
 *	the Win32 API and in core/unix/ with POSIX calls. The build picks one
 *	set. Command code stays portable and never tests the system itself.
 *
 *	Operations report a portable status; where a message needs the system's
 *	own error number, the operation saves it (GetLastError() or errno) at
 *	the moment of the failure and hands it back through an out parameter.
 *
 *	Wide text (WideString) is UTF-16. The Unix side converts it to the
 *	native UTF-8 at this boundary with Tcl's own routines.
 */

#ifndef HOSTKIT_PLATFORM_H
#define HOSTKIT_PLATFORM_H

#include "core/hostkit.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/*
 * ---------------------------------------------------------------------------
 * Locks.
 * ---------------------------------------------------------------------------
 */

/*
 * A process-wide lock (a critical section on Windows, a mutex elsewhere).
 * HkpLockCreate never fails in practice; the lock is never destroyed.
 */
typedef struct HkpLock HkpLock;
HkpLock *HkpLockCreate(void);
void HkpLockEnter(HkpLock *lock);
void HkpLockLeave(HkpLock *lock);

/*
 * ---------------------------------------------------------------------------
 * Text at the platform boundary.
 * ---------------------------------------------------------------------------
 */

/*
 * Unix only: the native UTF-8 form of a wide file name or argument, and
 * back, through Tcl's conversion routines (the stubs table must be bound).
 * Windows takes the wide text as it is and has no such operation.
 */
std::string HkpWideToNative(const WideString &text);
WideString HkpNativeToWide(const std::string &text);

/*
 * ---------------------------------------------------------------------------
 * Processes.
 * ---------------------------------------------------------------------------
 */

enum HkpTerminateStatus {
    HKP_TERMINATED = 0,		/* the process was told to end (exit code 1 /
				 * SIGKILL) */
    HKP_OPEN_FAILED,		/* no such process, or it may not be
				 * opened/signalled */
    HKP_TERMINATE_FAILED	/* opened, but the platform refused to end it */
};

/*
 * Ends the process with the given id unconditionally: on Windows
 * OpenProcess(PROCESS_ALL_ACCESS) then TerminateProcess(exit code 1); on
 * Unix SIGKILL. Ids that the platform cannot name (0 is the caller's
 * concern; on Unix anything above INT_MAX, which kill() would take as a
 * process group) give HKP_OPEN_FAILED without any system call.
 */
HkpTerminateStatus HkpTerminateProcess(uint32_t pid);

/*
 * ---------------------------------------------------------------------------
 * Process list.
 * ---------------------------------------------------------------------------
 */

/* One listed process: what its first module (its executable image) shows. */
struct HkpProcessInfo {
    uint32_t pid;
    WideString name;		/* file name of the image, no directory */
    WideString path;		/* full path of the image */
    uint32_t threadCount;
    int32_t priority;		/* base priority on the Windows scale (8 =
				 * normal) */
};

enum HkpProcessListStatus {
    HKP_LIST_OK = 0,
    HKP_LIST_NO_SNAPSHOT,	/* the process snapshot cannot be taken (on
				 * Unix: /proc cannot be read) */
    HKP_LIST_NO_FIRST		/* the first process record cannot be read */
};

/*
 * Fills `out` with every process whose executable image can be inspected,
 * in snapshot order. Processes without an image (the idle pseudo-process
 * of id 0, kernel threads), gone, or not inspectable are left out.
 */
HkpProcessListStatus HkpListProcesses(std::vector<HkpProcessInfo> &out);

/*
 * ---------------------------------------------------------------------------
 * Temporary files.
 * ---------------------------------------------------------------------------
 */

/*
 * Creates a new, empty, uniquely named file in the user's temporary
 * directory, named <prefix><hex>.TMP (up to four hexadecimal digits), and
 * returns its full path; the empty string on failure. The prefix is used
 * as given (the caller cuts it to three characters and keeps path
 * separators out of it). Windows: GetTempPathW + GetTempFileNameW; Unix:
 * $TMPDIR or /tmp, O_CREAT|O_EXCL with mode 0600, next number on EEXIST.
 */
WideString HkpMakeTempFile(const WideString &prefix);

/*
 * ---------------------------------------------------------------------------
 * Running programs.
 * ---------------------------------------------------------------------------
 */

/* A started child: its id and (Windows) its process and thread handles. */
struct HkpChild {
    uint32_t pid = 0;
    void *process = nullptr;
    void *thread = nullptr;
};

/*
 * Opens (creating or truncating) the two output files for writing, starts
 * the program named by the command line hidden, with no standard input and
 * its standard output and error going to those files, and closes this
 * side's handles on the files. A file that cannot be opened leaves that
 * stream unusable for the child; it does not stop the start. Both names
 * may be the same file.
 *
 * Windows: CreateFileW + CreateProcessW with the command line as it is.
 * Unix: no shell; the command line is split into arguments by the Windows
 * rules (hkSplitCommandLine), the program is searched on PATH, standard
 * input is /dev/null; in background mode the child is detached so that
 * nobody needs to wait for it.
 *
 * Returns true when started; otherwise false with the platform error
 * number (GetLastError() or errno) in *errorCode.
 */
bool HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, bool background, HkpChild *child,
	uint32_t *errorCode);

/*
 * Lets a started child go on alone: closes the handles, if any.
 */
void HkpReleaseProgram(HkpChild *child);

/*
 * Waits without time-out for a child started in waiting mode and releases
 * it. Returns 0 when the wait succeeded, the platform's failure value
 * (all bits set) otherwise. *exitCode gets the exit code, or the error
 * number of a failed exit-code request; on Unix a child ended by SIGKILL
 * reports 1 (what TerminateProcess gives on Windows), by another signal
 * 128 + the signal number.
 */
uint32_t HkpWaitProgram(HkpChild *child, uint32_t *exitCode);

/*
 * Reading a file back in binary, block by block, and removing it.
 */
typedef struct HkpReadFile HkpReadFile;
HkpReadFile *HkpOpenForReading(const WideString &name);	/* null on failure */
long long HkpFileSizeHint(HkpReadFile *file);	/* size now, or 0 if unknown */
long long HkpReadBlock(HkpReadFile *file, char *buffer, size_t size);	/* 0 at end, -1 on error */
void HkpCloseReading(HkpReadFile *file);
void HkpDeleteFile(const WideString &name);

/*
 * ---------------------------------------------------------------------------
 * Directory search: the search results file.
 * ---------------------------------------------------------------------------
 */

/*
 * An upper bound of the bytes that a read stream can still deliver: the
 * file's size on disk less the stream's position. In a Windows text stream
 * every logical byte takes at least one byte on disk, so the bound holds
 * there too. Returns false where no bound is known (not a regular file, no
 * descriptor); *left is then unchanged.
 */
bool HkpStreamBytesLeft(FILE *stream, uint64_t *left);

/*
 * The reader takes one entry character by character. Instead of a lock per
 * character it holds the stream's own lock for the whole entry:
 * HkpStreamLock/HkpStreamUnlock (flockfile / _lock_file, both recursive, so
 * the locking stream calls still work inside), and HKP_GETC_LOCKED reads
 * one character while the lock is held. It is the run-time library's own
 * unlocked getc, line end translation of Windows text streams included.
 */
void HkpStreamLock(FILE *stream);
void HkpStreamUnlock(FILE *stream);
#ifdef _WIN32
#define HKP_GETC_LOCKED(stream) _getc_nolock(stream)
#else
#define HKP_GETC_LOCKED(stream) getc_unlocked(stream)
#endif

/*
 * ---------------------------------------------------------------------------
 * Version resources.
 * ---------------------------------------------------------------------------
 */

/*
 * The version-information block of a file, as the Windows version functions
 * give it (GetFileVersionInfoSizeW, GetFileVersionInfoW). On Unix the block
 * is the file's PE version resource, read by its headers (files/peVersion.h):
 * anything that is not a PE file with a version resource has none.
 *
 * HkpGetVersionInfoSize gives the block's size in bytes, 0 when the file
 * cannot be read or has no version resource. HkpGetVersionInfo fills a block
 * of that size; false on failure.
 */
uint32_t HkpGetVersionInfoSize(const WideString &fileName);
bool HkpGetVersionInfo(const WideString &fileName, uint32_t size, void *block);

/*
 * Looks up a sub-block path in a block of blockSize bytes (VerQueryValueA
 * with a 7-bit path, VerQueryValueW with a zero-terminated wide one). On
 * success *value points into the block and *length is the value's length
 * as the block gives it (16-bit units for text, bytes otherwise).
 */
bool HkpVerQueryValueNarrow(const void *block, uint32_t blockSize, const char *subBlock,
	const void **value, uint32_t *length);
bool HkpVerQueryValueWide(const void *block, uint32_t blockSize, const Tcl_UniChar *subBlock,
	const void **value, uint32_t *length);

/*
 * ---------------------------------------------------------------------------
 * File times.
 * ---------------------------------------------------------------------------
 */

/* A calendar date and time, field for field as Windows' SYSTEMTIME. */
struct HkpSystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

/*
 * Converts a local calendar time to a UTC file time (100-nanosecond
 * intervals since 1 January 1601) with the offset from UTC that is in force
 * on that date, daylight saving included. False when a field is out of
 * range as SystemTimeToFileTime sees it (year 1601..30827, month 1..12, a
 * day of that month, hour < 24, minute < 60, second < 60, milliseconds <
 * 1000) or the result falls outside the file-time range.
 */
bool HkpLocalTimeToFileTime(const HkpSystemTime &local, uint64_t *utcFileTime);

enum HkpSetMtimeStatus {
    HKP_MTIME_SET = 0,
    HKP_MTIME_OPEN_FAILED,	/* no such file, a directory, read-only, in use */
    HKP_MTIME_SET_FAILED	/* opened, but the time could not be set */
};

/*
 * Opens an existing file for reading and writing without sharing and sets
 * its last-write time only. On failure *errorNumber is GetLastError() or
 * errno, saved at the failing call.
 */
HkpSetMtimeStatus HkpSetFileMtime(const WideString &fileName, uint64_t utcFileTime,
	int *errorNumber);

/*
 * ---------------------------------------------------------------------------
 * Directory search files.
 * ---------------------------------------------------------------------------
 */

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

#endif /* HOSTKIT_PLATFORM_H */
