// Whether a stream goes to a terminal (live progress lines) or to a file or pipe.
#pragma once

#include <cstdio>

namespace korvath::platform {

bool IsTerminal(std::FILE* stream);

}  // namespace korvath::platform
