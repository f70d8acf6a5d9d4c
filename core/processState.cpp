/*
 * processState.cpp --
 *
 *	Process-wide state of the module, built once by the run-time start-up
 *	when the module is loaded into a process, before any interpreter calls
 *	Hostkit_Init. One constructor builds it so that the order is fixed:
 *	first the results-file lock and counter, then the scrambling key. None
 *	of it is ever torn down.
 */

#include "core/processState.h"

namespace {

struct ProcessState {
    ProcessState()
    {
	hkInitResultsFileState();
	hkInitScrambleKey();
    }
};

ProcessState processState;

} // namespace
