# Source lists. Portable command code lives at the top of each area folder; the platform
# operations (and the LDAP client) have one implementation per system in win/ and unix/
# subfolders, and the build picks the set for the target system.
set(HOSTKIT_AREAS core directory process files)
set(HOSTKIT_COMMON_SOURCES)
set(HOSTKIT_WIN_SOURCES)
set(HOSTKIT_UNIX_SOURCES)
foreach(area ${HOSTKIT_AREAS})
  file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${area}/*.cpp ${CMAKE_SOURCE_DIR}/${area}/base/*.cpp)
  list(APPEND HOSTKIT_COMMON_SOURCES ${s})
  file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${area}/win/*.cpp)
  list(APPEND HOSTKIT_WIN_SOURCES ${s})
  file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${area}/unix/*.cpp)
  list(APPEND HOSTKIT_UNIX_SOURCES ${s})
endforeach()
# The entry points go into the module only.
list(REMOVE_ITEM HOSTKIT_COMMON_SOURCES ${CMAKE_SOURCE_DIR}/core/hostkitInit.cpp)

if(WIN32)
  set(HOSTKIT_PLATFORM_LIBS wldap32 shlwapi shell32 version dnsapi netapi32)
else()
  # TLS of the LDAP client is its own, with GnuTLS (directory/unix/unixTls.cpp).
  set(HOSTKIT_PLATFORM_LIBS ldap lber gnutls resolv)
endif()
