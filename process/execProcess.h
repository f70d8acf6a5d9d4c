/*
 * execProcess.h --
 *
 *	The portable logic of execprocess, free of Tcl: running the program
 *	that a classified request names, and reading its output files back
 *	into result text. The command procedure (execProcessCmd.cpp) turns
 *	the words into the request and the outcome into the result.
 */

#ifndef HOSTKIT_EXEC_PROCESS_H
#define HOSTKIT_EXEC_PROCESS_H

#include "core/base/wideText.h"
#include "process/base/execWords.h"

#include <cstddef>
#include <cstdint>

namespace hkproc {

/*
 * Room for result text, owned by the caller; the command keeps it in the
 * result object itself, so that a large output is held once.
 */
class OutputBuffer {
public:
    virtual ~OutputBuffer() = default;
    /*
     * Makes room for at least `size` bytes, keeping the bytes held; false
     * when the memory cannot be had (the room stays as it was).
     */
    virtual bool grow(size_t size) = 0;
    virtual char *data() = 0;
};

/* What became of one output file. */
enum AppendResult {
    APPEND_READ,		/* its text was taken (or, once too large, not needed) */
    APPEND_MISSING,		/* it does not open: the stream was lost */
    APPEND_NOT_A_FILE,		/* a FIFO or a device: written to, nothing read back */
    APPEND_READ_FAILED		/* a read failed partway: its text is not whole */
};

/*
 * Collects the text of output files into a buffer, one file after the
 * other: each file's bytes with CR LF as LF, then made into Tcl text
 * (core/base/tclUtf8.h: NUL as C0 80, bytes that are not UTF-8 as the
 * characters of their value). The text is never longer than `limit`
 * bytes; once it would be, nothing more is taken and tooLarge() says so.
 */
class OutputCollector {
public:
    OutputCollector(OutputBuffer &buffer, size_t limit);
    OutputCollector(const OutputCollector &) = delete;
    OutputCollector &operator=(const OutputCollector &) = delete;

    /* Appends a regular file's text; only a regular file is read. */
    AppendResult appendFile(const WideString &name);

    bool tooLarge() const {
	return tooLarge_;
    }
    /* Bytes of text held in the buffer. */
    size_t length() const {
	return used_;
    }

private:
    bool reserve(size_t size);
    void makeText(size_t start);

    OutputBuffer &buffer_;
    size_t limit_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    bool tooLarge_ = false;
};

enum ExecStatus {
    EXEC_STARTED,		/* background mode: the program runs alone */
    EXEC_FINISHED,		/* the program ended; its text is in the buffer */
    EXEC_START_FAILED,
    EXEC_WAIT_FAILED,
    EXEC_TOO_LARGE,		/* the text does not fit into a result */
    EXEC_READ_FAILED		/* an output file could not be read whole */
};

struct ExecOutcome {
    ExecStatus status = EXEC_START_FAILED;
    uint32_t pid = 0;		/* the program's process id, once started */
    uint32_t exitCode = 0;	/* EXEC_FINISHED */
    uint32_t errorCode = 0;	/* EXEC_START_FAILED, EXEC_WAIT_FAILED: the
				 * system's error number */
    size_t length = 0;		/* EXEC_FINISHED: bytes of text in the buffer */
};

/*
 * Runs the program of a request whose output names are all filled in.
 * Waiting mode collects the standard output text, then the standard error
 * text, into the buffer (at most `limit` bytes) and removes the capture
 * files (removeStdout, removeStderr) once the whole text is held; when it
 * does not fit, or a file cannot be read whole, every file stays on disk.
 * Background mode lets the capture files go as soon as the program holds
 * them (HKP_STDOUT_TRANSIENT), and after a failed start they are removed
 * too: nobody could name them. Named files always stay.
 */
ExecOutcome runProgram(const ExecRequest &request, OutputBuffer &buffer, size_t limit);

} // namespace hkproc

#endif /* HOSTKIT_EXEC_PROCESS_H */
