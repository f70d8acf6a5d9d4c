/*
 * resultsCounter.h --
 *
 *	The process-wide results-file counter, which numbers the search results
 *	files Ldap_0.txt, Ldap_1.txt, ... It is the only state that the package
 *	guards with a lock.
 */

#ifndef HOSTKIT_RESULTS_COUNTER_H
#define HOSTKIT_RESULTS_COUNTER_H

#include <cstdint>

/*
 * Returns the counter's value and adds one to it, under the results-file
 * lock. The first number handed out in a process is 0.
 */
uint32_t nextResultsFileNumber(void);

#endif
