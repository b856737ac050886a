#include "platform/Terminal.h"

#include <windows.h>
// After windows.h: the C run-time's descriptor functions.
#include <io.h>

namespace korvath::platform {

bool IsTerminal(std::FILE* stream) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
  // Lets the progress line redraw itself with the same control sequences as elsewhere.
  SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  return true;
}

}  // namespace korvath::platform
