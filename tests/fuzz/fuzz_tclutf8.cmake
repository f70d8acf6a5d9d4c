# Bytes as Tcl text: pure code, no Tcl.
set(FUZZ_SOURCES core/base/tclUtf8.cpp)
