# The word classification and the command-line rules: pure code, no Tcl.
set(FUZZ_SOURCES process/base/commandLine.cpp process/base/execWords.cpp)
