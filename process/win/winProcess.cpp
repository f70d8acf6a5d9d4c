/*
 * winProcess.cpp --
 *
 *	Win32 definitions of the process operations: ending a process, the
 *	process list (tool-help snapshots), running programs (CreateProcessW)
 *	and reading their output files back.
 */

#include "process/processPlatform.h"
#include "core/win/winHandle.h"

#include <windows.h>
#include <tlhelp32.h>

HkpTerminateStatus
HkpTerminateProcess(uint32_t pid)
{
    /* All process access rights (0x1F0FFF), not inheritable. */
    HANDLE process = OpenProcess(0x1F0FFF, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
	return HKP_OPEN_FAILED;
    }
    /*
     * The system ignores the two low bits of an id, so 4n+1 opens process
     * 4n: an id that no process has must not end another one.
     */
    if (GetProcessId(process) != static_cast<DWORD>(pid)) {
	CloseHandle(process);
	return HKP_OPEN_FAILED;
    }
    BOOL ended = TerminateProcess(process, 1);
    CloseHandle(process);
    return ended ? HKP_TERMINATED : HKP_TERMINATE_FAILED;
}

/*
 * ---------------------------------------------------------------------------
 * Process list.
 * ---------------------------------------------------------------------------
 */

namespace {

/*
 * The records' size fields: 556 and 1064 in a 32-bit build, 568 and 1080
 * in a 64-bit one (pointer-sized members); the platform checks them.
 */

/*
 * The first module record of one process: its executable image. Id 0
 * would mean the calling process, so the caller never asks for it.
 */
bool
getFirstModule(DWORD pid, MODULEENTRY32W *module)
{
    WinHandle snapshot;
    /* The snapshot may fail with ERROR_BAD_LENGTH while the process loads
     * modules; a retry is what the platform asks for. */
    for (int attempt = 0; attempt < 3; ++attempt) {
	snapshot.reset(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
	if (snapshot.valid() || GetLastError() != ERROR_BAD_LENGTH) {
	    break;
	}
    }
    if (!snapshot.valid()) {
	return false;
    }
    module->dwSize = sizeof *module;
    return Module32FirstW(snapshot.get(), module) != FALSE;
}

WideString
wideFrom(const wchar_t *text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != 0) {
	++length;
    }
    return WideString(reinterpret_cast<const WideChar *>(text), length);
}

} // namespace

HkpProcessListStatus
HkpListProcesses(std::vector<HkpProcessInfo> &out)
{
    WinHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
	return HKP_LIST_NO_SNAPSHOT;
    }
    PROCESSENTRY32W process;
    process.dwSize = sizeof process;
    if (!Process32FirstW(snapshot.get(), &process)) {
	return HKP_LIST_NO_FIRST;
    }
    MODULEENTRY32W module;
    do {
	/* Id 0 is the idle pseudo-process, which has no image of its own. */
	if (process.th32ProcessID == 0 || !getFirstModule(process.th32ProcessID, &module)) {
	    continue;
	}
	HkpProcessInfo info;
	info.pid = process.th32ProcessID;
	info.name = wideFrom(module.szModule, MAX_MODULE_NAME32 + 1);
	info.path = wideFrom(module.szExePath, MAX_PATH);
	info.threadCount = process.cntThreads;
	info.priority = process.pcPriClassBase;
	out.push_back(info);
    } while (Process32NextW(snapshot.get(), &process));
    return HKP_LIST_OK;
}

/*
 * ---------------------------------------------------------------------------
 * Running programs.
 * ---------------------------------------------------------------------------
 */

namespace {

/*
 * A name with a NUL in it would reach the system cut at the NUL, naming
 * another file: no file has such a name.
 */
bool
holdsNul(const WideString &text)
{
    return text.find(static_cast<WideChar>(0)) != WideString::npos;
}

/* Created or truncated, inheritable, for the child's output. */
HANDLE
openForChild(const WideString &name)
{
    if (holdsNul(name)) {
	return INVALID_HANDLE_VALUE;
    }
    std::wstring path(name.begin(), name.end());
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, &sa,
	    CREATE_ALWAYS, 0, nullptr);
}

} // namespace

bool
HkpStartProgram(const WideString &commandLine, const WideString &stdoutName,
	const WideString &stderrName, bool background, HkpChild *child,
	uint32_t *errorCode)
{
    (void) background;
    WinHandle out(openForChild(stdoutName));
    WinHandle err(openForChild(stderrName));

    /*
     * The platform's limit is 32,767 characters with the terminator. Some
     * implementations (Wine) cut a longer line instead of refusing it, and
     * a cut line runs something else than the script asked for.
     */
    if (commandLine.size() >= 32767) {
	*errorCode = ERROR_FILENAME_EXCED_RANGE;
	return false;
    }
    /* Likewise a NUL in a word, which would end the line there. */
    if (holdsNul(commandLine)) {
	*errorCode = ERROR_INVALID_PARAMETER;
	return false;
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
	*errorCode = lastError;
	return false;
    }
    child->pid = pi.dwProcessId;
    child->process = pi.hProcess;
    child->thread = pi.hThread;
    return true;
}

void
HkpReleaseProgram(HkpChild *child)
{
    if (child->process != nullptr) {
	CloseHandle(static_cast<HANDLE>(child->process));
    }
    if (child->thread != nullptr) {
	CloseHandle(static_cast<HANDLE>(child->thread));
    }
    child->process = child->thread = nullptr;
}

uint32_t
HkpWaitProgram(HkpChild *child, uint32_t *exitCode)
{
    HANDLE process = static_cast<HANDLE>(child->process);
    DWORD waited = WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) {
	code = GetLastError();
    }
    *exitCode = code;
    HkpReleaseProgram(child);
    return waited;
}

/*
 * ---------------------------------------------------------------------------
 * Reading files back (binary: no 0x1A end, no translation here).
 * ---------------------------------------------------------------------------
 */

struct HkpReadFile {
    HANDLE handle;
};

HkpReadFile *
HkpOpenForReading(const WideString &name)
{
    if (name.empty() || holdsNul(name)) {
	return nullptr;
    }
    std::wstring path(name.begin(), name.end());
    /*
     * The child's write handles deny reading. They are normally gone once
     * the wait has returned, but Wine may close them a moment after it
     * signals the process's end: a sharing violation is retried for up to
     * two seconds before the file is taken as unreadable.
     */
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 200; ++attempt) {
	h = CreateFileW(path.c_str(), GENERIC_READ,
		FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
		OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
	if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
	    break;
	}
	Sleep(10);
    }
    if (h == INVALID_HANDLE_VALUE) {
	return nullptr;
    }
    return new HkpReadFile{h};
}

long long
HkpFileSizeHint(HkpReadFile *file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file->handle, &size)) {
	return 0;
    }
    return size.QuadPart;
}

long long
HkpReadBlock(HkpReadFile *file, char *buffer, size_t size)
{
    DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(file->handle, buffer, want, &got, nullptr)) {
	return -1;
    }
    return got;
}

void
HkpCloseReading(HkpReadFile *file)
{
    CloseHandle(file->handle);
    delete file;
}

void
HkpDeleteFile(const WideString &name)
{
    if (holdsNul(name)) {
	return;
    }
    std::wstring path(name.begin(), name.end());
    DeleteFileW(path.c_str());
}
