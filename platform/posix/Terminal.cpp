#include "platform/Terminal.h"

#include <unistd.h>

namespace korvath::platform {

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) != 0;
}

}  // namespace korvath::platform
