/*
 * execProcessCmd.cpp --
 *
 *	The execprocess command: reads the words into a request, names the
 *	capture files, runs the program (execProcess.cpp) and turns the
 *	outcome into the result, keeping the program's output text in the
 *	result object itself.
 */

#include "core/hostkit.h"
#include "core/failureWords.h"
#include "files/tempFileName.h"
#include "process/execProcess.h"
#include "process/outputFilePlatform.h"

#include <climits>
#include <cstdio>
#include <vector>

/*
 * The longest result text. Tcl strings hold at most INT_MAX bytes; the
 * tests build a module with a small limit (cmake/tests-process.cmake) to
 * see the too-large case without gigabytes of output.
 */
#ifndef HOSTKIT_EXEC_OUTPUT_LIMIT
#define HOSTKIT_EXEC_OUTPUT_LIMIT INT_MAX
#endif

namespace {

static_assert(HOSTKIT_EXEC_OUTPUT_LIMIT > 0 && HOSTKIT_EXEC_OUTPUT_LIMIT <= INT_MAX,
	"the output limit must fit a Tcl string");
const size_t OUTPUT_LIMIT = HOSTKIT_EXEC_OUTPUT_LIMIT;

const char USAGE[] = "Usage: execprocess <file name> [arguments] ... \n"
	"e.g. execprocess notepad.exe filename.txt";

/* Capture files are named like gettempfilename's, with this prefix. */
const char CAPTURE_PREFIX[] = "ExecProcess";

/* The code of a failed wait. */
const int WAIT_FAILED_CODE = -1;
/* The code of an output that does not fit into a result. */
const int TOO_LARGE_CODE = -20;
/* The code of a capture file that cannot be made: the program is not started. */
const int NO_CAPTURE_FILE_CODE = -30;
/* The code of an output file that cannot be read whole. */
const int READ_FAILED_CODE = -40;

/*
 * The output text, kept in the string of a Tcl object. Memory that cannot
 * be had is a refusal (Tcl_AttemptSetObjLength), not a panic.
 */
class ResultText : public hkproc::OutputBuffer {
public:
    ResultText() : obj_(Tcl_NewObj()) {
	Tcl_IncrRefCount(obj_);
    }
    ~ResultText() override {
	Tcl_DecrRefCount(obj_);
    }
    ResultText(const ResultText &) = delete;
    ResultText &operator=(const ResultText &) = delete;

    bool grow(size_t size) override {
	if (size > static_cast<size_t>(INT_MAX)) {
	    return false;
	}
	return Tcl_AttemptSetObjLength(obj_, static_cast<Tcl_Size>(size)) != 0;
    }
    char *data() override {
	return Tcl_GetString(obj_);
    }

    /* The object cut to the text's length (never more than it holds). */
    Tcl_Obj *finish(size_t length) {
	Tcl_SetObjLength(obj_, static_cast<Tcl_Size>(length));
	return obj_;
    }

private:
    Tcl_Obj *obj_;
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
    hkproc::ExecRequest request = hkproc::classifyExecWords(words);

    /*
     * Without its capture file a stream's output would be lost while the
     * command reports success, and the program would run with that stream
     * closed: nothing is started then.
     */
    static const WideString capturePrefix = hkWide(CAPTURE_PREFIX);
    bool stdoutCaptured = request.stdoutName.empty();
    if (stdoutCaptured) {
	request.stdoutName = makeTempFileName(capturePrefix);
    }
    if (request.stderrName.empty()) {
	request.stderrName = makeTempFileName(capturePrefix);
    }
    if (request.stdoutName.empty() || request.stderrName.empty()) {
	if (stdoutCaptured && !request.stdoutName.empty()) {
	    HkpRemoveOutputFile(request.stdoutName);
	}
	return hkFailNarrow(interp, "Could not create a temporary file for the output of the "
		"program", NO_CAPTURE_FILE_CODE);
    }

    ResultText text;
    hkproc::ExecOutcome outcome = hkproc::runProgram(request, text, OUTPUT_LIMIT);
    switch (outcome.status) {
    case hkproc::EXEC_START_FAILED: {
	char message[64];
	snprintf(message, sizeof message, "CreateProcess failed : 0x%x", outcome.errorCode);
	hkFailureDetail("START", outcome.errorCode);
	return hkFailNarrow(interp, message, static_cast<int>(outcome.errorCode));
    }
    case hkproc::EXEC_STARTED: {
	char pid[32];
	snprintf(pid, sizeof pid, "%u", outcome.pid);
	return hkSetNarrowResult(interp, pid);
    }
    case hkproc::EXEC_WAIT_FAILED:
	return hkFailNarrow(interp, "Wait for process to end failed", WAIT_FAILED_CODE);
    case hkproc::EXEC_TOO_LARGE:
	/* Never hand back part of the output as if it were all of it. */
	return hkFailNarrow(interp, "Output of the program is too large for a result",
		TOO_LARGE_CODE);
    case hkproc::EXEC_READ_FAILED:
	return hkFailNarrow(interp, "Could not read the output of the program", READ_FAILED_CODE);
    case hkproc::EXEC_FINISHED:
	break;
    }

    Tcl_SetObjResult(interp, text.finish(outcome.length));
    if (outcome.exitCode != 0) {
	hkFailureDetail("EXITCODE", outcome.pid);
	return hkFailCode(interp, static_cast<int>(outcome.exitCode));
    }
    return TCL_OK;
}
