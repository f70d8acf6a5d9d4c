/*
 * winProgram.cpp --
 *
 *	Win32 definitions of the program operations
 *	(process/programPlatform.h): CreateProcessW with the output going to
 *	inheritable file handles, and a wait on the process handle.
 */

#include "process/programPlatform.h"
#include "process/base/commandLine.h"
#include "core/win/winHandle.h"

#include <new>
#include <string>
#include <vector>
#include <windows.h>

struct HkpProgram {
    DWORD pid;
    WinHandle process;
    WinHandle thread;
};

namespace {

/*
 * Created or truncated, inheritable, for the child's output. A transient
 * file is deleted when its last handle closes: this side's once the start
 * is over, the child's (and any console host's copy) when it ends. Every
 * later open of such a file must share deletion, so it shares everything.
 */
HANDLE
openForChild(const WideString &name, bool transient)
{
    if (hkproc::holdsNul(name)) {
	return INVALID_HANDLE_VALUE;
    }
    std::wstring path(name.begin(), name.end());
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    if (!transient) {
	return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, &sa,
		CREATE_ALWAYS, 0, nullptr);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
	    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, CREATE_ALWAYS,
	    FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
	DWORD lastError = GetLastError();
	DeleteFileW(path.c_str());
	SetLastError(lastError);
    }
    return file;
}

} // namespace

HkpProgram *
HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, HkpStartMode mode, unsigned transient,
	uint32_t *errorCode)
{
    /* A program that nobody waits for is started the same way. */
    (void) mode;
    WinHandle out(openForChild(stdoutName, (transient & HKP_STDOUT_TRANSIENT) != 0));
    WinHandle err(openForChild(stderrName, (transient & HKP_STDERR_TRANSIENT) != 0));

    /*
     * Some implementations (Wine) cut a line over the system's limit
     * instead of refusing it, and a cut line runs something else than the
     * script asked for.
     */
    if (commandLine.size() >= hkproc::HK_COMMAND_LINE_MAX) {
	*errorCode = ERROR_FILENAME_EXCED_RANGE;
	return nullptr;
    }
    /* Likewise a NUL in a word, which would end the line there. */
    if (hkproc::holdsNul(commandLine)) {
	*errorCode = ERROR_INVALID_PARAMETER;
	return nullptr;
    }

    HkpProgram *program = new (std::nothrow) HkpProgram();
    if (program == nullptr) {
	*errorCode = ERROR_NOT_ENOUGH_MEMORY;
	return nullptr;
    }

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = nullptr;
    si.hStdOutput = out.get();
    si.hStdError = err.get();

    /* CreateProcessW may write into the command line: a private copy. */
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);

    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
	    CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &si, &pi);
    DWORD lastError = GetLastError();
    out.reset();
    err.reset();
    if (!started) {
	delete program;
	*errorCode = lastError;
	return nullptr;
    }
    program->pid = pi.dwProcessId;
    program->process.reset(pi.hProcess);
    program->thread.reset(pi.hThread);
    return program;
}

uint32_t
HkpProgramId(const HkpProgram *program)
{
    return program->pid;
}

void
HkpReleaseProgram(HkpProgram *program)
{
    delete program;		/* closes both handles */
}

bool
HkpWaitProgram(HkpProgram *program, uint32_t *exitCode, uint32_t *errorCode)
{
    DWORD code = 0;
    bool ok = WaitForSingleObject(program->process.get(), INFINITE) == WAIT_OBJECT_0
	    && GetExitCodeProcess(program->process.get(), &code);
    DWORD lastError = GetLastError();
    delete program;
    if (!ok) {
	*errorCode = lastError;
	return false;
    }
    *exitCode = code;
    return true;
}
