/*
 * execProcessCmd.cpp --
 *
 *	The execprocess command: reads the words into a request, names the
 *	capture files, runs the program (execProcess.cpp) and turns the
 *	outcome into the result, keeping the program's output text in the
 *	result object itself.
 */

#include "core/hostkit.h"
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

/* Capture files are named like gettempfilename's, with this prefix. */
const char CAPTURE_PREFIX[] = "ExecProcess";

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
	return hkFail(interp, HkFailure::EXEC_USAGE);
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
	return hkFail(interp, HkFailure::EXEC_CAPTURE);
    }

    ResultText text;
    hkproc::ExecOutcome outcome = hkproc::runProgram(request, text, OUTPUT_LIMIT);
    switch (outcome.status) {
    case hkproc::EXEC_START_FAILED: {
	char hex[16];
	snprintf(hex, sizeof hex, "%x", outcome.errorCode);
	return hkFailWithCode(interp, HkFailure::EXEC_START, static_cast<int>(outcome.errorCode),
		outcome.errorCode, {hkWide(hex)});
    }
    case hkproc::EXEC_STARTED: {
	char pid[32];
	snprintf(pid, sizeof pid, "%u", outcome.pid);
	return hkSetNarrowResult(interp, pid);
    }
    case hkproc::EXEC_WAIT_FAILED:
	return hkFail(interp, HkFailure::EXEC_WAIT);
    case hkproc::EXEC_TOO_LARGE:
	/* Never hand back part of the output as if it were all of it. */
	return hkFail(interp, HkFailure::EXEC_TOO_LARGE);
    case hkproc::EXEC_READ_FAILED:
	return hkFail(interp, HkFailure::EXEC_READ);
    case hkproc::EXEC_FINISHED:
	break;
    }

    Tcl_SetObjResult(interp, text.finish(outcome.length));
    if (outcome.exitCode != 0) {
	/* The output stays the result. */
	return hkFailWithCode(interp, HkFailure::EXEC_EXIT_CODE, static_cast<int>(outcome.exitCode),
		outcome.pid);
    }
    return TCL_OK;
}
