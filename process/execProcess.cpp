/*
 * execProcess.cpp --
 *
 *	The execprocess command: runs a program hidden, with its standard
 *	output and standard error going to files (named by redirection words,
 *	or capture files), and in waiting mode returns what it wrote.
 */

#include "core/hostkit.h"
#include "process/processPlatform.h"
#include "files/tempFileName.h"
#include "process/execProcess.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

const char USAGE[] = "Usage: execprocess <file name> [arguments] ... \n"
	"e.g. execprocess notepad.exe filename.txt";

/* Smallest free room kept for each read. */
const size_t READ_BLOCK = 64 * 1024;

/*
 * Output collected straight into the result object's string, so that a
 * large output is held once, not copied through a second buffer.
 */
class OutputText {
public:
    OutputText() : obj_(Tcl_NewObj()), used_(0), capacity_(0) {
	Tcl_IncrRefCount(obj_);
    }
    ~OutputText() {
	Tcl_DecrRefCount(obj_);
    }
    OutputText(const OutputText &) = delete;
    OutputText &operator=(const OutputText &) = delete;

    /*
     * Appends a file's bytes with CR LF as LF. False when the file does
     * not open; a file that opens but fails while being read keeps what
     * was read.
     */
    bool appendFile(const WideString &name) {
	HkpReadFile *file = HkpOpenForReading(name);
	if (file == nullptr) {
	    return false;
	}
	size_t start = used_;
	long long hint = HkpFileSizeHint(file);
	if (hint > 0) {
	    reserve(used_ + static_cast<size_t>(hint) + 1);
	}
	for (;;) {
	    if (capacity_ - used_ < READ_BLOCK / 4) {
		size_t want = capacity_ * 2;
		if (want < used_ + READ_BLOCK) {
		    want = used_ + READ_BLOCK;
		}
		reserve(want);	/* refused: read on into the room left */
	    }
	    if (capacity_ == used_) {
		truncated_ = true;
		break;
	    }
	    long long got = HkpReadBlock(file, data() + used_, capacity_ - used_);
	    if (got <= 0) {
		break;
	    }
	    used_ += static_cast<size_t>(got);
	}
	HkpCloseReading(file);
	used_ = start + hkCrLfToLf(data() + start, used_ - start);
	return true;
    }

    /* The finished text, NULs in Tcl's form; the caller takes a reference. */
    Tcl_Obj *finish() {
	size_t nuls = hkCountNul(data(), used_);
	if (nuls > 0) {
	    if (reserve(used_ + nuls) && used_ + nuls <= capacity_) {
		hkExpandNul(data(), used_, nuls);
		used_ += nuls;
	    } else {
		truncated_ = true;
	    }
	}
	Tcl_SetObjLength(obj_, static_cast<int>(used_));
	return obj_;
    }

    bool truncated() const {
	return truncated_;
    }

private:
    char *data() {
	return Tcl_GetString(obj_);
    }

    /*
     * Tcl strings are limited to INT_MAX bytes. Memory that cannot be had
     * is a refusal, not the panic of Tcl_SetObjLength: the caller reads on
     * into the room it has and reports the output as too large when that
     * is full.
     */
    bool reserve(size_t want) {
	if (want <= capacity_) {
	    return true;
	}
	if (want > static_cast<size_t>(INT_MAX)) {
	    want = static_cast<size_t>(INT_MAX);
	    if (want <= capacity_) {
		return false;
	    }
	}
	if (!Tcl_AttemptSetObjLength(obj_, static_cast<int>(want))) {
	    return false;
	}
	capacity_ = want;
	return true;
    }

    Tcl_Obj *obj_;
    size_t used_;
    size_t capacity_;
    bool truncated_ = false;
};

} // namespace

/*
 * execprocess word ?word ...? ?&?
 */
extern "C" int
HkExecProcessObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
	return hkFailWide(interp, hkWide(USAGE), -10);
    }

    std::vector<WideString> words;
    words.reserve(static_cast<size_t>(objc - 1));
    for (int i = 1; i < objc; ++i) {
	words.push_back(hkWideArg(objv[i]));
    }
    ExecRequest req = classifyExecWords(words);

    static const WideString capturePrefix = hkWide("ExecProcess");
    if (req.stdoutName.empty()) {
	req.stdoutName = makeTempFileName(capturePrefix);
    }
    if (req.stderrName.empty()) {
	req.stderrName = makeTempFileName(capturePrefix);
    }

    HkpChild child;
    uint32_t errorCode = 0;
    if (!HkpStartProgram(req.commandLine, req.stdoutName, req.stderrName,
	    req.background, &child, &errorCode)) {
	char message[64];
	snprintf(message, sizeof message, "CreateProcess failed : 0x%x", errorCode);
	return hkFailNarrow(interp, message, static_cast<int>(errorCode));
    }

    if (req.background) {
	uint32_t pid = child.pid;
	HkpReleaseProgram(&child);
	char text[32];
	snprintf(text, sizeof text, "%u", pid);
	return hkSetNarrowResult(interp, text);
    }

    uint32_t exitCode = 0;
    uint32_t waited = HkpWaitProgram(&child, &exitCode);
    if (waited != 0) {
	return hkFailNarrow(interp, "Wait for process to end failed", static_cast<int>(waited));
    }

    /* A capture file whose text does not fit into the result stays on disk. */
    OutputText output;
    if (output.appendFile(req.stdoutName) && req.removeStdout && !output.truncated()) {
	HkpDeleteFile(req.stdoutName);
    }
    if (output.appendFile(req.stderrName) && req.removeStderr && !output.truncated()) {
	HkpDeleteFile(req.stderrName);
    }
    Tcl_Obj *text = output.finish();
    if (output.truncated()) {
	/* Never hand back part of the output as if it were all of it. */
	return hkFailNarrow(interp, "Output of the program is too large for a result", -20);
    }
    Tcl_SetObjResult(interp, text);

    if (exitCode != 0) {
	return hkFailCode(interp, static_cast<int>(exitCode));
    }
    return TCL_OK;
}
