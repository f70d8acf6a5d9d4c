/*
 * failures.h --
 *
 *	Every failure of every Hostkit command, named once. Each has one row
 *	in the failure table (failures.cpp): the command it belongs to, its
 *	failure code, its errorCode word, what the errorCode's detail is (if
 *	any) and its message. A command fails through one call of core/hostkit.h
 *	(hkFail and its kin) with the failure's name; nothing else states a
 *	code, a word or a message.
 *
 *	What a script sees of a failure:
 *	- the message, as the interpreter's result;
 *	- the errorCode list  HOSTKIT command code WORD ?detail?;
 *	- the code, stored with Tcl_SetErrno as the very last step, so that
 *	  the embedding application reads it with Tcl_GetErrno.
 *
 *	The manual (doc/hostkit.n) lists the same failures: its "FAILURE CODES"
 *	list and each command's failure list. tests/unit/failuresTest.cpp holds
 *	them against this table, both ways.
 *
 *	This header knows no Tcl: the table is plain data.
 */

#ifndef HOSTKIT_FAILURES_H
#define HOSTKIT_FAILURES_H

#include "core/base/wideText.h"

#include <cstddef>
#include <initializer_list>

/*
 * The failures, one name each, in the order of the table. The prefix names
 * the command.
 */
enum class HkFailure {
    /* terminateprocess */
    TERMINATE_USAGE,
    TERMINATE_OPEN,
    TERMINATE_TERMINATE,
    TERMINATE_PROCESS_ID,
    /* ldapsearch */
    SEARCH_USAGE,
    SEARCH_NO_USER,
    SEARCH_FAILED,
    SEARCH_CONNECT,
    SEARCH_BIND,
    SEARCH_RESULTS_FILE,
    SEARCH_NO_MEMORY,
    SEARCH_TLS,
    SEARCH_INCOMPLETE,
    /* ldapsearchgetnextitem */
    NEXT_ITEM_NO_SEARCH,
    NEXT_ITEM_END,
    NEXT_ITEM_BAD_LENGTH,
    NEXT_ITEM_NO_MEMORY,
    NEXT_ITEM_SHORT_VALUE,
    /* ldapsearchinfo */
    INFO_USAGE,
    INFO_NO_SEARCH,
    INFO_RUNNING,
    INFO_NO_MEMORY,
    /* ldapencryptpassword, ldapdecryptpassword */
    ENCRYPT_USAGE,
    ENCRYPT_NO_MEMORY,
    DECRYPT_USAGE,
    DECRYPT_NO_MEMORY,
    /* filegetversion */
    VERSION_USAGE,
    VERSION_NO_INFO,
    VERSION_NO_ATTRIBUTE,
    /* filesetmtime */
    MTIME_USAGE,
    MTIME_TIME,
    MTIME_OPEN,
    MTIME_SET,
    /* getprocesslist */
    PROCESS_LIST_SNAPSHOT,
    PROCESS_LIST_WALK,
    /* execprocess */
    EXEC_USAGE,
    EXEC_WAIT,
    EXEC_TOO_LARGE,
    EXEC_CAPTURE,
    EXEC_READ,
    /* gettempfilename */
    TEMP_FILE,
    /* execprocess, codes that are not fixed */
    EXEC_START,
    EXEC_EXIT_CODE,

    COUNT		/* not a failure: the number of them */
};

/* Where a failure's code comes from. */
enum class HkCodeKind {
    FIXED,		/* the table's code */
    SYSTEM_ERROR,	/* the system's error number, given by the failing call */
    EXIT_CODE		/* a program's exit code, given by the failing call */
};

struct HkFailureInfo {
    HkFailure failure;		/* the row's own name (the table is in name order) */
    const char *command;	/* the name the command is registered under */
    HkCodeKind kind;
    int code;			/* HkCodeKind::FIXED: the failure code */
    const char *word;		/* the errorCode word */
    const char *detail;		/* what the errorCode's detail is; nullptr: none */
    const char *message;	/* the message, "%s" where the failing call fills in
				 * a text; nullptr: none, the result stays as it is */
};

/* The row of a failure. */
const HkFailureInfo &hkFailureInfo(HkFailure failure);

/* The whole table, in name order. */
extern const HkFailureInfo HK_FAILURES[];
extern const size_t HK_FAILURE_COUNT;

/*
 * The failure's message with each "%s" replaced by the next of parts, in
 * order: a "%s" without a part stays empty, parts left over are dropped,
 * and nothing in a part is replaced again. Any other '%' stays as it is.
 * Empty when the failure has no message.
 */
WideString hkFailureMessage(HkFailure failure, std::initializer_list<WideString> parts = {});

#endif /* HOSTKIT_FAILURES_H */
