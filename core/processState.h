/*
 * processState.h --
 *
 *	The pieces of process-wide state that core/processState.cpp builds at
 *	load time, in this order. Each lives with the code that uses it.
 */

#ifndef HOSTKIT_PROCESS_STATE_H
#define HOSTKIT_PROCESS_STATE_H

/* directory/resultsCounter.cpp: the results-file lock and counter (0). */
void hkInitResultsFileState(void);

/* directory/scramble.cpp: the 12-byte scrambling key and its length. */
void hkInitScrambleKey(void);

#endif
