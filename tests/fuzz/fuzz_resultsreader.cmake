# The results reader and its record; the file-size check of the platform
# layer needs tcl.h only for the shared declarations (no Tcl call is linked).
set(FUZZ_SOURCES directory/resultsFile.cpp directory/resultRecord.cpp
  directory/unix/unixResultsFile.cpp)
find_path(HK_FUZZ_TCL_INCLUDE tcl.h PATHS /usr/include/tcl8.6 /usr/include/tcl NO_DEFAULT_PATH)
include_directories(${HK_FUZZ_TCL_INCLUDE})
