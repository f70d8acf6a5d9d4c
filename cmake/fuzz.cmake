# libFuzzer targets (clang): one per tests/fuzz/fuzz_NAME.cpp. A file
# tests/fuzz/fuzz_NAME.cmake beside it sets FUZZ_SOURCES, the module sources
# (relative to the source folder) that the target needs; fuzzed code stays
# free of Tcl so that it links on its own.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "HOSTKIT_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()
file(GLOB HOSTKIT_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(fuzzer ${HOSTKIT_FUZZERS})
  get_filename_component(name ${fuzzer} NAME_WE)
  set(FUZZ_SOURCES)
  include(${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.cmake OPTIONAL)
  list(TRANSFORM FUZZ_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  add_executable(${name} ${fuzzer} ${FUZZ_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined
    -fno-sanitize-recover=undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
