# Test-only pieces of the file utilities: the PE fixtures of the
# filegetversion tests, made with mingw-w64's windres and gcc into
# BUILD/fixtures (the same files in the Linux and the Windows build folder):
#   ver_one.dll      one translation, 040904e4, empty and non-ASCII strings
#   ver_multi.dll    two translations; a string only under the second one
#   ver_notrans.dll  no translation table (US English, 1252 by default)
#   ver_upper.dll    upper-case table name and key, language-neutral resource
#   ver_longkey.dll  keys of 998 and 999 characters (the look-up path limit)
#   ver_pe32.dll     ver_one as a 32-bit (PE32) image
#   ver_none.dll     resources but no version resource
#   ver_nores.dll    no resources at all
#   hostkit_rc.dll   the module's own version resource (core/win/hostkit.rc.in)
#   notpe.txt        a text file
# Truncated and corrupted copies are made by the tests themselves.
find_program(HK_MINGW64_GCC x86_64-w64-mingw32-gcc)
find_program(HK_MINGW64_WINDRES x86_64-w64-mingw32-windres)
find_program(HK_MINGW32_GCC i686-w64-mingw32-gcc)

if(NOT HK_MINGW64_GCC OR NOT HK_MINGW64_WINDRES)
  message(STATUS "mingw-w64 not found: no filegetversion fixtures (those tests are skipped)")
  return()
endif()

set(HK_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
set(HK_FIXTURE_SRC ${CMAKE_SOURCE_DIR}/tests/files)
file(MAKE_DIRECTORY ${HK_FIXTURE_DIR})
# The resource as the Tcl 8 module (Hostkit.dll) carries it, whichever Tcl this build is for.
set(HOSTKIT_DLLFILE_SAVED ${HOSTKIT_DLLFILE})
set(HOSTKIT_DLLFILE Hostkit.dll)
configure_file(${CMAKE_SOURCE_DIR}/core/win/hostkit.rc.in ${HK_FIXTURE_DIR}/hostkit_rc.rc @ONLY)
set(HOSTKIT_DLLFILE ${HOSTKIT_DLLFILE_SAVED})
configure_file(${HK_FIXTURE_SRC}/notpe.txt ${HK_FIXTURE_DIR}/notpe.txt COPYONLY)

set(HK_FIXTURES ${HK_FIXTURE_DIR}/notpe.txt)

# hk_pe_fixture(NAME RC_FILE|"" GCC [windres target])
function(hk_pe_fixture name rc gcc)
  set(out ${HK_FIXTURE_DIR}/${name}.dll)
  set(objects)
  set(commands)
  if(rc)
    set(res ${HK_FIXTURE_DIR}/${name}.res.o)
    set(target pe-x86-64)
    if(ARGC GREATER 3)
      set(target ${ARGV3})
    endif()
    list(APPEND commands COMMAND ${HK_MINGW64_WINDRES} -F ${target} ${rc} -O coff -o ${res})
    set(objects ${res})
  endif()
  # 32-bit symbols carry a leading underscore.
  set(entry HkFixtureEntry)
  if(gcc STREQUAL HK_MINGW32_GCC OR gcc STREQUAL "${HK_MINGW32_GCC}")
    set(entry _HkFixtureEntry)
  endif()
  add_custom_command(OUTPUT ${out}
    ${commands}
    COMMAND ${gcc} -shared -s -nostdlib -Wl,-e,${entry} -o ${out} ${HK_FIXTURE_SRC}/stub.c ${objects}
    DEPENDS ${rc} ${HK_FIXTURE_SRC}/stub.c
    VERBATIM)
  set(HK_FIXTURES ${HK_FIXTURES} ${out} PARENT_SCOPE)
endfunction()

foreach(name ver_one ver_multi ver_notrans ver_upper ver_longkey ver_none)
  hk_pe_fixture(${name} ${HK_FIXTURE_SRC}/${name}.rc ${HK_MINGW64_GCC})
endforeach()
hk_pe_fixture(ver_nores "" ${HK_MINGW64_GCC})
hk_pe_fixture(hostkit_rc ${HK_FIXTURE_DIR}/hostkit_rc.rc ${HK_MINGW64_GCC})
if(HK_MINGW32_GCC)
  hk_pe_fixture(ver_pe32 ${HK_FIXTURE_SRC}/ver_one.rc ${HK_MINGW32_GCC} pe-i386)
endif()

add_custom_target(hostkit_file_fixtures ALL DEPENDS ${HK_FIXTURES})
