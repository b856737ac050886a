# Every target of the project compiles with the same strict warnings. The project's presets make
# them errors (CMAKE_COMPILE_WARNING_AS_ERROR); a plain build of a checkout, as a packager makes
# with another compiler version, keeps them warnings, so that a compiler's new false positive
# does not stop it.
add_library(korvath_warnings INTERFACE)
target_compile_options(korvath_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Wformat=2
  -Wimplicit-fallthrough)
if(WIN32)
  # One exe with no DLLs beside it.
  target_link_options(korvath_warnings INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(korvath_warnings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
