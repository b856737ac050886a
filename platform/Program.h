// The running program's own executable, which the self-update must recognise.
#pragma once

#include <string>

namespace korvath::platform {

// The full path of the running program's executable; empty when the system cannot tell.
std::string ProgramFilePath();

}  // namespace korvath::platform
