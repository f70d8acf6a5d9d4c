# The results reader and its record: the format of directory/base alone.
set(FUZZ_SOURCES directory/base/resultsFile.cpp directory/base/resultRecord.cpp)
