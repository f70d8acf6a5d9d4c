# The /proc text readers, the priority scale and the id word: pure code, no Tcl.
set(FUZZ_SOURCES process/base/procText.cpp process/base/processId.cpp)
