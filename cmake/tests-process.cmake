# Test-only pieces of the process area. hkchild, the child program that the
# execprocess and getprocesslist tests start (in the build folder, next to
# the module, as hkchild or hkchild.exe).
add_executable(hkchild tests/support/hkchild.c)
set_target_properties(hkchild PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(WIN32)
  target_link_options(hkchild PRIVATE -static -static-libgcc)
endif()

# HostkitOutputLimit: the module with execprocess's result text limited to
# 4096 bytes instead of Tcl's string limit (HOSTKIT_EXEC_OUTPUT_LIMIT in
# process/execProcessCmd.cpp), so that the tests can give a program more
# output than a result holds in a moment, not gigabytes. Only that file is
# compiled again; everything else is the module's own objects. Never
# installed.
set(HK_TEST_OUTPUT_LIMIT 4096)
add_library(hostkit_outputlimit_objs OBJECT process/execProcessCmd.cpp)
target_include_directories(hostkit_outputlimit_objs PRIVATE ${HOSTKIT_INCLUDE_DIRS})
target_compile_definitions(hostkit_outputlimit_objs PRIVATE USE_TCL_STUBS
  HOSTKIT_EXEC_OUTPUT_LIMIT=${HK_TEST_OUTPUT_LIMIT})
set_target_properties(hostkit_outputlimit_objs PROPERTIES CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
add_library(HostkitOutputLimit MODULE core/hostkitInit.cpp
  "$<FILTER:$<TARGET_OBJECTS:hostkit_objs>,EXCLUDE,/execProcessCmd\\.cpp\\.>"
  $<TARGET_OBJECTS:hostkit_outputlimit_objs>)
target_include_directories(HostkitOutputLimit PRIVATE ${HOSTKIT_INCLUDE_DIRS})
target_compile_definitions(HostkitOutputLimit PRIVATE USE_TCL_STUBS BUILD_Hostkit)
set_target_properties(HostkitOutputLimit PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_link_libraries(HostkitOutputLimit PRIVATE ${TCL_STUB_LIBRARY} ${HOSTKIT_PLATFORM_LIBS})
if(WIN32)
  set_target_properties(HostkitOutputLimit PROPERTIES SUFFIX ".dll")
  target_link_options(HostkitOutputLimit PRIVATE -static -static-libgcc -static-libstdc++)
else()
  set_target_properties(HostkitOutputLimit PROPERTIES SUFFIX ".so")
  target_link_options(HostkitOutputLimit PRIVATE -Wl,--no-undefined)
endif()
if(HOSTKIT_SANITIZE)
  foreach(t hostkit_outputlimit_objs HostkitOutputLimit)
    target_compile_options(${t} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  endforeach()
  target_link_options(HostkitOutputLimit PRIVATE -fsanitize=address,undefined)
endif()
