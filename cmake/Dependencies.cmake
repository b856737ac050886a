# Libraries come from the system (Linux) or from the MinGW prefix that scripts/setup builds.
find_package(BZip2 1.0.8 REQUIRED)
if(BZIP2_VERSION_STRING AND BZIP2_VERSION_STRING VERSION_LESS 1.0.8)
  message(FATAL_ERROR "libbz2 1.0.8 or later is required, found ${BZIP2_VERSION_STRING}")
endif()
find_package(Threads REQUIRED)
# libsodium: Ed25519 for the update list's signature. Linux takes Debian's; the MinGW builds take
# the static copy scripts/setup builds, which also needs the system's random source (advapi32).
find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
find_library(SODIUM_LIBRARY NAMES sodium REQUIRED)
add_library(Sodium::Sodium UNKNOWN IMPORTED)
set_target_properties(Sodium::Sodium PROPERTIES IMPORTED_LOCATION ${SODIUM_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${SODIUM_INCLUDE_DIR})
if(WIN32)
  set_target_properties(Sodium::Sodium PROPERTIES INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
                        INTERFACE_LINK_LIBRARIES "Threads::Threads;advapi32")
endif()
# libzstd: patches between releases (a file rebuilt from its previous version). Linux takes
# Debian's; the MinGW builds take the static copy scripts/setup builds.
find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
find_library(ZSTD_LIBRARY NAMES zstd REQUIRED)
add_library(Zstd::Zstd UNKNOWN IMPORTED)
set_target_properties(Zstd::Zstd PROPERTIES IMPORTED_LOCATION ${ZSTD_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${ZSTD_INCLUDE_DIR})
if(NOT WIN32)
  find_package(CURL REQUIRED)
endif()
if(KORVATH_TESTS)
  find_package(GTest REQUIRED)
endif()

# cpp-httplib serves the tests' loopback server and korvath-publish serve. Debian's
# /usr/include/httplib.h only declares the library (its code is in a Linux-only shared library);
# scripts/setup unpacks the whole header-only copy from Debian's source package.
if(NOT KORVATH_DEPS)
  if(DEFINED ENV{KORVATH_DEPS})
    set(KORVATH_DEPS $ENV{KORVATH_DEPS})
  else()
    set(KORVATH_DEPS /opt/korvath-deps)
  endif()
endif()
find_path(KORVATH_HTTPLIB_DIR httplib.h PATHS ${KORVATH_DEPS}/src/cpp-httplib
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(httplib_headers INTERFACE)
# One copy of the header serves both builds; only its folder is added, as a system folder, so
# that the MinGW build picks up nothing else.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/httplib)
file(COPY ${KORVATH_HTTPLIB_DIR}/httplib.h DESTINATION ${CMAKE_BINARY_DIR}/httplib)
target_include_directories(httplib_headers SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/httplib)
if(WIN32)
  target_link_libraries(httplib_headers INTERFACE ws2_32 crypt32)
endif()

# CLI11 is header-only; the MinGW builds take the same headers, copied into the build folder
# so that nothing else of /usr/include reaches them.
find_path(KORVATH_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${KORVATH_CLI11_DIR}/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11)
add_library(cli11_headers INTERFACE)
target_include_directories(cli11_headers SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/cli11)
