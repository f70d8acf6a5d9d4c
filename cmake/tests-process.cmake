# Test-only pieces of the process area: hkchild, the child program that the
# execprocess and getprocesslist tests start (in the build folder, next to
# the module, as hkchild or hkchild.exe).
add_executable(hkchild tests/support/hkchild.c)
set_target_properties(hkchild PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(WIN32)
  target_link_options(hkchild PRIVATE -static -static-libgcc)
endif()
