set(FUZZ_SOURCES files/peVersion.cpp)
