/*
 * execProcess.cpp --
 *
 *	The portable logic of execprocess: starting the program, waiting for
 *	it, and reading its output files back into result text.
 */

#include "process/execProcess.h"
#include "process/outputFilePlatform.h"
#include "process/programPlatform.h"
#include "process/base/outputBytes.h"
#include "core/base/tclUtf8.h"

namespace hkproc {

namespace {

/* Growth step of the text, and the least that each growth adds. */
const size_t READ_BLOCK = 64 * 1024;

} // namespace

OutputCollector::OutputCollector(OutputBuffer &buffer, size_t limit)
    : buffer_(buffer), limit_(limit)
{
}

/*
 * Grows the room towards `size` bytes, never beyond the limit; true when
 * it holds at least `size` bytes afterwards.
 */
bool
OutputCollector::reserve(size_t size)
{
    if (size <= capacity_) {
	return true;
    }
    size_t want = size < limit_ ? size : limit_;
    if (want > capacity_ && buffer_.grow(want)) {
	capacity_ = want;
    }
    return capacity_ >= size;
}

AppendResult
OutputCollector::appendFile(const WideString &name)
{
    HkpOutputOpenStatus status;
    HkpOutputFile *file = HkpOpenOutputFile(name, &status);
    if (file == nullptr) {
	return status == HKP_OUTPUT_NOT_A_FILE ? APPEND_NOT_A_FILE : APPEND_MISSING;
    }
    if (tooLarge_) {
	HkpCloseOutputFile(file);
	return APPEND_READ;
    }

    /* The whole file and one byte more, so that its end is seen without growing. */
    size_t start = used_;
    uint64_t size = 0;
    if (HkpOutputFileSize(file, &size) && size > 0) {
	reserve(size >= limit_ - used_ ? limit_ : used_ + static_cast<size_t>(size) + 1);
    }

    bool readFailed = false;
    for (;;) {
	if (used_ == capacity_) {
	    size_t doubled = capacity_ > limit_ / 2 ? limit_ : capacity_ * 2;
	    size_t stepped = READ_BLOCK > limit_ - used_ ? limit_ : used_ + READ_BLOCK;
	    reserve(doubled > stepped ? doubled : stepped);
	}
	if (used_ == capacity_) {
	    /* No more room: the text fits only if the file has no byte left. */
	    char probe;
	    size_t got = 0;
	    if (!HkpReadOutputFile(file, &probe, 1, &got)) {
		readFailed = true;
	    } else if (got > 0) {
		tooLarge_ = true;
	    }
	    break;
	}
	size_t got = 0;
	if (!HkpReadOutputFile(file, buffer_.data() + used_, capacity_ - used_, &got)) {
	    readFailed = true;
	    break;
	}
	if (got == 0) {
	    break;
	}
	used_ += got;
    }
    HkpCloseOutputFile(file);
    if (readFailed) {
	/* Never part of a file's text as if it were all of it. */
	used_ = start;
	return APPEND_READ_FAILED;
    }
    if (!tooLarge_) {
	used_ = start + crLfToLf(buffer_.data() + start, used_ - start);
	makeText(start);
    }
    return APPEND_READ;
}

/*
 * Makes the bytes from `start` on into Tcl text, each file on its own, so
 * that a sequence cut at the end of one file is never joined with the
 * start of the next.
 */
void
OutputCollector::makeText(size_t start)
{
    size_t length = used_ - start;
    size_t textLength = hkTclUtf8Length(buffer_.data() + start, length);
    if (textLength == length) {
	return;
    }
    if (textLength > limit_ - start || !reserve(start + textLength)) {
	tooLarge_ = true;
	return;
    }
    hkToTclUtf8InPlace(buffer_.data() + start, length, textLength);
    used_ = start + textLength;
}

ExecOutcome
runProgram(const ExecRequest &request, OutputBuffer &buffer, size_t limit)
{
    ExecOutcome outcome;
    /* Nobody reads a background program's capture files: they go at once. */
    unsigned transient = 0;
    if (request.background) {
	transient = (request.removeStdout ? HKP_STDOUT_TRANSIENT : 0)
		| (request.removeStderr ? HKP_STDERR_TRANSIENT : 0);
    }
    HkpProgram *program = HkpStartProgram(request.commandLine, request.stdoutName,
	    request.stderrName, request.background ? HKP_START_DETACHED : HKP_START_WAITED,
	    transient, &outcome.errorCode);
    if (program == nullptr) {
	/*
	 * Nothing was written to the capture files of a program that never
	 * ran. Transient ones are gone already, and their names may be
	 * another's by now.
	 */
	if (request.removeStdout && !(transient & HKP_STDOUT_TRANSIENT)) {
	    HkpRemoveOutputFile(request.stdoutName);
	}
	if (request.removeStderr && !(transient & HKP_STDERR_TRANSIENT)) {
	    HkpRemoveOutputFile(request.stderrName);
	}
	outcome.status = EXEC_START_FAILED;
	return outcome;
    }

    outcome.pid = HkpProgramId(program);
    if (request.background) {
	HkpReleaseProgram(program);
	outcome.status = EXEC_STARTED;
	return outcome;
    }

    if (!HkpWaitProgram(program, &outcome.exitCode, &outcome.errorCode)) {
	outcome.status = EXEC_WAIT_FAILED;
	return outcome;
    }

    OutputCollector text(buffer, limit);
    AppendResult stdoutRead = text.appendFile(request.stdoutName);
    AppendResult stderrRead = text.appendFile(request.stderrName);
    if (stdoutRead == APPEND_READ_FAILED || stderrRead == APPEND_READ_FAILED) {
	/* The files keep what the result cannot deliver. */
	outcome.status = EXEC_READ_FAILED;
	return outcome;
    }
    if (text.tooLarge()) {
	/* Nothing is removed that the result does not deliver. */
	outcome.status = EXEC_TOO_LARGE;
	return outcome;
    }
    if (stdoutRead == APPEND_READ && request.removeStdout) {
	HkpRemoveOutputFile(request.stdoutName);
    }
    if (stderrRead == APPEND_READ && request.removeStderr) {
	HkpRemoveOutputFile(request.stderrName);
    }
    outcome.status = EXEC_FINISHED;
    outcome.length = text.length();
    return outcome;
}

} // namespace hkproc
