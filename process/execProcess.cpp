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

bool
OutputCollector::appendFile(const WideString &name)
{
    HkpOutputFile *file = HkpOpenOutputFile(name);
    if (file == nullptr) {
	return false;
    }
    if (tooLarge_) {
	HkpCloseOutputFile(file);
	return true;
    }

    /* The whole file and one byte more, so that its end is seen without growing. */
    size_t start = used_;
    uint64_t size = 0;
    if (HkpOutputFileSize(file, &size) && size > 0) {
	reserve(size >= limit_ - used_ ? limit_ : used_ + static_cast<size_t>(size) + 1);
    }

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
	    if (!HkpReadOutputFile(file, &probe, 1, &got) || got > 0) {
		tooLarge_ = true;
	    }
	    break;
	}
	size_t got = 0;
	if (!HkpReadOutputFile(file, buffer_.data() + used_, capacity_ - used_, &got)
		|| got == 0) {
	    break;
	}
	used_ += got;
    }
    HkpCloseOutputFile(file);
    used_ = start + crLfToLf(buffer_.data() + start, used_ - start);
    return true;
}

void
OutputCollector::finish()
{
    if (tooLarge_ || used_ == 0) {
	return;
    }
    size_t nuls = countNul(buffer_.data(), used_);
    if (nuls == 0) {
	return;
    }
    if (nuls > limit_ - used_ || !reserve(used_ + nuls)) {
	tooLarge_ = true;
	return;
    }
    expandNul(buffer_.data(), used_, nuls);
    used_ += nuls;
}

ExecOutcome
runProgram(const ExecRequest &request, OutputBuffer &buffer, size_t limit)
{
    ExecOutcome outcome;
    HkpProgram *program = HkpStartProgram(request.commandLine, request.stdoutName,
	    request.stderrName, request.background ? HKP_START_DETACHED : HKP_START_WAITED,
	    &outcome.errorCode);
    if (program == nullptr) {
	outcome.status = EXEC_START_FAILED;
	return outcome;
    }

    if (request.background) {
	outcome.pid = HkpProgramId(program);
	HkpReleaseProgram(program);
	outcome.status = EXEC_STARTED;
	return outcome;
    }

    if (!HkpWaitProgram(program, &outcome.exitCode, &outcome.errorCode)) {
	outcome.status = EXEC_WAIT_FAILED;
	return outcome;
    }

    OutputCollector text(buffer, limit);
    bool stdoutRead = text.appendFile(request.stdoutName);
    bool stderrRead = text.appendFile(request.stderrName);
    text.finish();
    if (text.tooLarge()) {
	/* Nothing is removed that the result does not deliver. */
	outcome.status = EXEC_TOO_LARGE;
	return outcome;
    }
    if (stdoutRead && request.removeStdout) {
	HkpRemoveOutputFile(request.stdoutName);
    }
    if (stderrRead && request.removeStderr) {
	HkpRemoveOutputFile(request.stderrName);
    }
    outcome.status = EXEC_FINISHED;
    outcome.length = text.length();
    return outcome;
}

} // namespace hkproc
