/*
 * unitSupport.h --
 *
 *	Shared helpers of the GoogleTest units.
 */

#ifndef HOSTKIT_UNIT_SUPPORT_H
#define HOSTKIT_UNIT_SUPPORT_H

#include <tcl.h>

/* The interpreter that main() created; the stubs table is bound to it. */
Tcl_Interp *unitTestInterp(void);

/* The process's address space in bytes, as /proc tells it; 0 if unknown. */
unsigned long long unitAddressSpace(void);

#endif
