set(FUZZ_SOURCES directory/base/certificateNames.cpp directory/base/caFile.cpp)
