/*
 * failureWords.h --
 *
 *	The interpreter's errorCode on every failure of a Hostkit command:
 *
 *	    HOSTKIT command code WORD ?detail?
 *
 *	command is the name the command is registered under, code the same
 *	failure code that Tcl_SetErrno stores, WORD a short symbolic word for
 *	it, and detail, where a failure has one: a number (the child's process
 *	id for a program's non-zero exit code, the system's error number for a
 *	start failure of execprocess and for filesetmtime's open and set
 *	failures), or for an incomplete search the first cause's word.
 *
 *	The words are part of the interface. The table in failureWords.cpp and
 *	the table "errorCode words" in README.md must list the same rows; a
 *	unit test holds them together.
 */

#ifndef HOSTKIT_FAILURE_WORDS_H
#define HOSTKIT_FAILURE_WORDS_H

#include <tcl.h>

#include <cstddef>

struct HkFailureWord {
    const char *command;
    int code;
    const char *word;
};

/* Every fixed (command, code) pair and its word. */
extern const HkFailureWord HK_FAILURE_WORDS[];
extern const size_t HK_FAILURE_WORD_COUNT;

/* The word of a fixed code of a command; null when the table has none. */
const char *hkFailureWord(const char *command, int code);

/*
 * For failures whose code is not fixed (an exit code, a system error
 * number) or that carry a detail: called by the command procedure just
 * before it fails, it names the word (null: the table's) and the detail.
 * Each command registered by the command table starts with none.
 */
void hkFailureDetail(const char *word, long long detail);

/* A detail that is a word (an incomplete search's first cause): called likewise. */
void hkFailureDetailText(const char *text);

/*
 * Called when a command procedure registered under `command` has returned
 * TCL_ERROR: sets the errorCode list from the code it stored with
 * Tcl_SetErrno and any detail, then stores the same code again, last.
 */
void hkSetFailureErrorCode(Tcl_Interp *interp, const char *command);

/* Forgets any detail: the start of every command. */
void hkClearFailureDetail(void);

#endif /* HOSTKIT_FAILURE_WORDS_H */
