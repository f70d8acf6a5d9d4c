# Test-only pieces of the search results file: hkresultsfile, the program
# that tests/resultsfile.test starts to run the writer and the reader on
# real text streams of the target system (in the build folder, as
# hkresultsfile or hkresultsfile.exe). It links the results-file format of
# directory/base and the platform's results-file operations, no Tcl.
add_executable(hkresultsfile tests/resultsfile/resultsFileCheck.cpp
  directory/base/resultsFile.cpp directory/base/resultRecord.cpp)
if(WIN32)
  target_sources(hkresultsfile PRIVATE directory/win/winResultsFile.cpp)
  target_link_libraries(hkresultsfile PRIVATE shlwapi shell32)
  target_link_options(hkresultsfile PRIVATE -static -static-libgcc -static-libstdc++)
else()
  target_sources(hkresultsfile PRIVATE directory/unix/unixResultsFile.cpp)
endif()
target_include_directories(hkresultsfile PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(hkresultsfile PRIVATE -Wall -Wextra)
set_target_properties(hkresultsfile PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
