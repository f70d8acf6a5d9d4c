set(FUZZ_SOURCES directory/base/searchText.cpp)
