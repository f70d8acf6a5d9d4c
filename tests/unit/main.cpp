/*
 * main.cpp --
 *
 *	GoogleTest entry for the Hostkit units. The module's code reaches Tcl
 *	through the stubs table, as inside the package, so the units create a
 *	real interpreter first and bind the stubs to it.
 */

#undef USE_TCL_STUBS
#include <tcl.h>
#undef Tcl_InitStubs

#include <gtest/gtest.h>

#include "tests/unit/unitSupport.h"

extern "C" const char *Tcl_InitStubs(Tcl_Interp *interp, const char *version, int exact);

static Tcl_Interp *unitInterp;

Tcl_Interp *
unitTestInterp(void)
{
    return unitInterp;
}

int
main(int argc, char **argv)
{
    Tcl_FindExecutable(argv[0]);
    unitInterp = Tcl_CreateInterp();
    if (Tcl_InitStubs(unitInterp, "8.4", 0) == nullptr) {
	fprintf(stderr, "cannot bind the Tcl stubs: %s\n", Tcl_GetStringResult(unitInterp));
	return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
