# Cross build of the portable code for 32-bit Linux (i686) with Debian's cross compiler, against
# Debian's i386 libraries (multiarch); tests run under qemu-i386, so that the code players run in
# a 32-bit address space with a 32-bit size_t is exercised on a 64-bit machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
if(DEFINED ENV{KORVATH_DEPS})
  set(KORVATH_DEPS $ENV{KORVATH_DEPS})
else()
  set(KORVATH_DEPS /opt/korvath-deps)
endif()
# GoogleTest is built for i686 by scripts/setup; the rest comes from /usr's i386 multiarch folders.
# Searching only these keeps the machine's own 64-bit libraries out of the link.
set(CMAKE_FIND_ROOT_PATH ${KORVATH_DEPS}/i686-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config (which finds libcurl) reads the i386 descriptions, not the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# The run-time libraries of the cross compiler are linked in, so that the programs need no
# i386 copy of them beside the multiarch libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -static-libgcc")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/i386-run)
