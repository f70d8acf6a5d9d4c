/*
 * main.cpp --
 *
 *	GoogleTest entry for the Hostkit units. The module's code reaches Tcl
 *	through the stubs table, as inside the package, so the units create a
 *	real interpreter first and bind the stubs to it.
 */

#undef USE_TCL_STUBS
#include <tcl.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/unit/unitSupport.h"

/*
 * The stubs library's own binder, called directly: Tcl 8's tcl.h makes the
 * name a panic without USE_TCL_STUBS, Tcl 9's adds the magic number.
 */
#undef Tcl_InitStubs
#if TCL_MAJOR_VERSION < 9
extern "C" const char *Tcl_InitStubs(Tcl_Interp *interp, const char *version, int exact);
#define HK_UNIT_INIT_STUBS(interp) Tcl_InitStubs(interp, "8.4", 0)
#else
#define HK_UNIT_INIT_STUBS(interp) \
    Tcl_InitStubs(interp, "9.0", (TCL_MAJOR_VERSION << 8) | (TCL_MINOR_VERSION << 16), TCL_STUB_MAGIC)
#endif

static Tcl_Interp *unitInterp;

Tcl_Interp *
unitTestInterp(void)
{
    return unitInterp;
}

unsigned long long
unitAddressSpace(void)
{
    FILE *f = fopen("/proc/self/status", "r");
    if (f == nullptr) {
	return 0;
    }
    char line[256];
    unsigned long long kb = 0;
    while (fgets(line, sizeof line, f) != nullptr) {
	if (sscanf(line, "VmSize: %llu kB", &kb) == 1) {
	    break;
	}
    }
    fclose(f);
    return kb * 1024;
}

int
main(int argc, char **argv)
{
    Tcl_FindExecutable(argv[0]);
    unitInterp = Tcl_CreateInterp();
    if (HK_UNIT_INIT_STUBS(unitInterp) == nullptr) {
	fprintf(stderr, "cannot bind the Tcl stubs: %s\n", Tcl_GetStringResult(unitInterp));
	return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
