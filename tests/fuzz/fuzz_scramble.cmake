set(FUZZ_SOURCES directory/base/scramble.cpp)
