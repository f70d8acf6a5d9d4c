# Finds the Tcl to build against through its tclConfig.sh, as Tcl extensions do.
#
# Set one of these (cache variables) to choose a Tcl:
#   TCL_CONFIG  the path of a tclConfig.sh
#   TCL_ROOT    a Tcl installation folder (holding lib/tclConfig.sh) or the folder
#               that holds tclConfig.sh itself
# Without either, the Windows build looks in build-win/wintcl (what
# scripts/build-wintcl.sh makes; WINTCL_DIR is taken as TCL_ROOT there), the
# Linux build in the usual system places.
#
# Gives TCL_VERSION, TCL_INCLUDE_DIR, TCL_STUB_LIBRARY, TCL_LIBRARY (the shared
# library, for programs that create an interpreter; may be empty) and TCL_TCLSH
# (an interpreter of that version for this machine, or empty). Fails with a
# message that says what to set when no usable Tcl is found.

set(TCL_ROOT "" CACHE PATH "Tcl installation folder (holding lib/tclConfig.sh)")
set(TCL_CONFIG "" CACHE FILEPATH "Path of the tclConfig.sh to build against")
if(NOT TCL_ROOT AND WINTCL_DIR)
  set(TCL_ROOT ${WINTCL_DIR})
endif()

# Reads NAME='value' lines of a tclConfig.sh into HK_<NAME> variables.
function(hostkit_read_tcl_config file)
  file(STRINGS ${file} lines REGEX "^TCL_[A-Z_]+='.*'$")
  foreach(line ${lines})
    if(line MATCHES "^(TCL_[A-Z_]+)='(.*)'$")
      set(HK_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

set(_hk_candidates)
if(TCL_CONFIG)
  list(APPEND _hk_candidates ${TCL_CONFIG})
elseif(TCL_ROOT)
  list(APPEND _hk_candidates ${TCL_ROOT}/lib/tclConfig.sh ${TCL_ROOT}/tclConfig.sh)
elseif(WIN32)
  list(APPEND _hk_candidates ${CMAKE_SOURCE_DIR}/build-win/wintcl/lib/tclConfig.sh)
else()
  if(CMAKE_LIBRARY_ARCHITECTURE)
    list(APPEND _hk_candidates /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/tcl8.6/tclConfig.sh)
  endif()
  list(APPEND _hk_candidates /usr/lib/tcl8.6/tclConfig.sh /usr/local/lib/tclConfig.sh
    /usr/lib/tclConfig.sh /usr/lib64/tclConfig.sh)
endif()

set(_hk_config)
foreach(c ${_hk_candidates})
  if(EXISTS ${c})
    set(_hk_config ${c})
    break()
  endif()
endforeach()
if(NOT _hk_config)
  string(REPLACE ";" ", " _hk_list "${_hk_candidates}")
  if(WIN32)
    message(FATAL_ERROR "No tclConfig.sh of a Windows Tcl found (looked at ${_hk_list}). "
      "Run scripts/build-wintcl.sh, or set TCL_ROOT to a Windows Tcl's installation folder.")
  else()
    message(FATAL_ERROR "No tclConfig.sh found (looked at ${_hk_list}). Install Tcl's "
      "development files (Debian: tcl8.6-dev), or set TCL_ROOT or TCL_CONFIG.")
  endif()
endif()

hostkit_read_tcl_config(${_hk_config})
get_filename_component(_hk_config_dir ${_hk_config} DIRECTORY)
get_filename_component(_hk_config_dir ${_hk_config_dir} REALPATH)
set(TCL_VERSION ${HK_TCL_VERSION})

# Headers: next to the configuration first, so that a moved installation works.
set(TCL_INCLUDE_DIR)
string(REGEX MATCHALL "-I[^ ]+" _hk_incs "${HK_TCL_INCLUDE_SPEC}")
string(REPLACE "-I" "" _hk_incs "${_hk_incs}")
foreach(d ${_hk_config_dir}/../include ${_hk_incs})
  if(EXISTS ${d}/tcl.h)
    get_filename_component(TCL_INCLUDE_DIR ${d} REALPATH)
    break()
  endif()
endforeach()

set(TCL_STUB_LIBRARY)
foreach(f ${_hk_config_dir}/${HK_TCL_STUB_LIB_FILE} ${HK_TCL_STUB_LIB_PATH})
  if(HK_TCL_STUB_LIB_FILE AND EXISTS ${f} AND NOT IS_DIRECTORY ${f})
    set(TCL_STUB_LIBRARY ${f})
    break()
  endif()
endforeach()

if(NOT TCL_VERSION OR NOT TCL_INCLUDE_DIR OR NOT TCL_STUB_LIBRARY)
  message(FATAL_ERROR "${_hk_config} does not describe a usable Tcl: version "
    "'${TCL_VERSION}', tcl.h in '${TCL_INCLUDE_DIR}', stubs library '${TCL_STUB_LIBRARY}'. "
    "Set TCL_ROOT or TCL_CONFIG to a Tcl with its headers and stubs library.")
endif()

# The shared library, for the unit tests, which create a real interpreter.
set(TCL_LIBRARY)
string(REGEX MATCHALL "-L[^ ]+" _hk_libdirs "${HK_TCL_LIB_SPEC}")
string(REPLACE "-L" "" _hk_libdirs "${_hk_libdirs}")
foreach(d ${_hk_config_dir} ${_hk_libdirs})
  if(HK_TCL_LIB_FILE AND EXISTS ${d}/${HK_TCL_LIB_FILE})
    set(TCL_LIBRARY ${d}/${HK_TCL_LIB_FILE})
    break()
  endif()
endforeach()

if(NOT CMAKE_CROSSCOMPILING)
  find_program(TCL_TCLSH NAMES tclsh${TCL_VERSION} tclsh
    HINTS ${HK_TCL_PREFIX}/bin ${HK_TCL_EXEC_PREFIX}/bin)
endif()

message(STATUS "Tcl ${TCL_VERSION}: ${_hk_config} (headers ${TCL_INCLUDE_DIR}, stubs ${TCL_STUB_LIBRARY})")
