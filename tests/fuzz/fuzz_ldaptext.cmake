set(FUZZ_SOURCES directory/searchText.cpp)
