# Every target of the project compiles with the same strict warnings, as errors.
add_library(korvath_warnings INTERFACE)
target_compile_options(korvath_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Wformat=2
  -Wimplicit-fallthrough -Werror)
if(WIN32)
  # One exe with no DLLs beside it.
  target_link_options(korvath_warnings INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(korvath_warnings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
