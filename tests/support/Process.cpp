#include "tests/support/Process.h"

#include <cstdlib>

#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath::test {

ProcessResult RunProcess(const std::string& program, const std::string& arguments,
                         const std::string& folder) {
  TempDir capture;
  const std::string out = capture / "out.txt", err = capture / "err.txt";
  const std::string line = CaptureLine(program, arguments, folder, out, err);
  const int status = std::system(line.c_str());
  ProcessResult result;
  result.ExitCode = ExitCodeOf(status);
  result.Out = AsLines(ReadFileBytes(out));
  result.Err = AsLines(ReadFileBytes(err));
  return result;
}

}  // namespace korvath::test
