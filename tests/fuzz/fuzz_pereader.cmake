set(FUZZ_SOURCES files/base/peVersion.cpp files/base/versionBlock.cpp)
