// Runs one of the project's programs in a folder and captures what it printed, for tests of
// the command-line front ends.
#pragma once

#include <string>

#include "tests/support/System.h"  // NativeProgramPath

namespace korvath::test {

struct ProcessResult {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

// Runs program with the arguments (each passed as one argument) in folder; the environment
// is the test's own.
ProcessResult RunProcess(const std::string& program, const std::string& arguments,
                         const std::string& folder);

}  // namespace korvath::test
