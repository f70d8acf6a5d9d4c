/*
 * programPlatform.h --
 *
 *	Platform operations that run a program for execprocess: starting it
 *	hidden with its output going to files, and waiting for it or letting
 *	it go on alone. Defined in process/unix/unixProgram.cpp and
 *	process/win/winProgram.cpp.
 */

#ifndef HOSTKIT_PROGRAM_PLATFORM_H
#define HOSTKIT_PROGRAM_PLATFORM_H

#include "core/base/wideText.h"

#include <cstdint>

/* A started program, held until HkpReleaseProgram or HkpWaitProgram. */
typedef struct HkpProgram HkpProgram;

enum HkpStartMode {
    HKP_START_WAITED,		/* the caller waits for the program */
    HKP_START_DETACHED		/* the program goes on alone; nobody waits */
};

/*
 * Output files that nobody reads back (HkpStartProgram's `transient`): each
 * goes as soon as the program holds it, so that nothing is left behind that
 * nobody can name.
 */
enum {
    HKP_STDOUT_TRANSIENT = 1,
    HKP_STDERR_TRANSIENT = 2
};

/*
 * Opens (creating or truncating) the two output files for writing, starts
 * the program named by the command line hidden, with no standard input and
 * its standard output and error going to those files, and closes this
 * side's handles on the files. The files are opened first, whether or not
 * the start works. A file that cannot be opened, or whose name holds a
 * NUL, leaves that stream unusable for the child; it does not stop the
 * start. Both names may be the same file, unless one of them is transient.
 *
 * A transient file (the `transient` bits) is removed whatever becomes of
 * the start; a started program keeps writing to it until it ends. Unix:
 * its name is unlinked once it is open, and the descriptor that the
 * program inherits keeps the file in being. Windows: it is opened with
 * FILE_FLAG_DELETE_ON_CLOSE (and shared for deletion), so that the system
 * removes it when the last handle on it, the program's, is closed; a file
 * that does not open is deleted by name.
 *
 * Windows: CreateFileW + CreateProcessW with the command line as it is.
 * Unix: no shell; the command line is split into arguments by the Windows
 * rules (hkproc::splitCommandLine), the program is searched on PATH,
 * standard input is /dev/null, signal handling is reset to the defaults;
 * a detached program is started through a middle process that ends at
 * once, so that it never becomes a zombie of this process.
 *
 * Returns the program; null when it did not start, with the platform's
 * error number (GetLastError() or errno) in *errorCode. A command line of
 * hkproc::HK_COMMAND_LINE_MAX units or more is refused on Windows with
 * ERROR_FILENAME_EXCED_RANGE (206) rather than cut; on Unix the system's
 * own argument limits apply (E2BIG, 7). A command line holding a NUL is
 * refused with ERROR_INVALID_PARAMETER (87) / EINVAL (22).
 */
HkpProgram *HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, HkpStartMode mode, unsigned transient,
	uint32_t *errorCode);

/* The process id of a started program. */
uint32_t HkpProgramId(const HkpProgram *program);

/* Lets the program go on alone and frees what holds it. */
void HkpReleaseProgram(HkpProgram *program);

/*
 * Waits without time-out for a program started in HKP_START_WAITED mode,
 * then frees what holds it. True with the exit code in *exitCode; on Unix
 * a program ended by SIGKILL reports 1 (what TerminateProcess gives on
 * Windows), one ended by another signal 128 + the signal number. False
 * when the wait or the exit-code request failed, with the platform's
 * error number in *errorCode.
 */
bool HkpWaitProgram(HkpProgram *program, uint32_t *exitCode, uint32_t *errorCode);

#endif /* HOSTKIT_PROGRAM_PLATFORM_H */
