/*
 * procText.h --
 *
 *	The text of Linux's /proc/PID/stat and /proc/PID/status as the process
 *	list reads it, and how a process's nice value and scheduling policy
 *	map onto the Windows base-priority scale. Pure text rules: no system
 *	call, so that they build and are tested on every system.
 */

#ifndef HOSTKIT_PROCESS_PROC_TEXT_H
#define HOSTKIT_PROCESS_PROC_TEXT_H

#include <cstdint>
#include <string>

namespace hkproc {

/* The fields of /proc/PID/stat that the process list uses. */
struct ProcStat {
    unsigned long flags = 0;	/* field 9, the kernel's PF_* flags */
    long nice = 0;		/* field 19 */
    unsigned long threads = 0;	/* field 20 */
    long policy = 0;		/* field 41; 0 (SCHED_OTHER) when the kernel
				 * does not show it */
};

/* PF_KTHREAD in ProcStat::flags: a kernel thread. */
const unsigned long HK_PROC_KERNEL_THREAD = 0x00200000UL;

/* Scheduling policies as /proc shows them (<sched.h>'s values on Linux). */
const long HK_PROC_SCHED_FIFO = 1;
const long HK_PROC_SCHED_RR = 2;

/*
 * Reads /proc/PID/stat. The command name in parentheses (field 2) may hold
 * blanks and parentheses, so the fields are counted from the last ')'.
 * False when there is no ')' or fewer fields than up to field 20.
 * Numbers are read as strtoul/strtol read them (no digits: 0).
 */
bool parseProcStat(const std::string &text, ProcStat &out);

/*
 * Reads the "Tgid:" line of /proc/PID/status: the id of the process that
 * the thread belongs to. False when there is no such line.
 */
bool parseStatusTgid(const std::string &text, long *tgid);

/* Windows base priorities of the priority classes. */
const int32_t HK_PRIORITY_REALTIME = 24;
const int32_t HK_PRIORITY_HIGH = 13;
const int32_t HK_PRIORITY_ABOVE_NORMAL = 10;
const int32_t HK_PRIORITY_NORMAL = 8;
const int32_t HK_PRIORITY_BELOW_NORMAL = 6;
const int32_t HK_PRIORITY_IDLE = 4;

/*
 * A nice value and scheduling policy on the Windows base-priority scale:
 * SCHED_FIFO and SCHED_RR realtime (24), nice -20..-15 high (13),
 * -14..-5 above normal (10), -4..4 normal (8), 5..14 below normal (6),
 * 15..19 idle (4).
 */
int32_t windowsBasePriority(long nice, long policy);

} // namespace hkproc

#endif /* HOSTKIT_PROCESS_PROC_TEXT_H */
