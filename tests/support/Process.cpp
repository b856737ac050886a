#include "tests/support/Process.h"

#include <cstdlib>

#include "tests/support/TempDir.h"

namespace korvath::test {

std::string NativeProgramPath(const std::string& buildPath) {
#ifdef _WIN32
  // Wine shows the Linux file system as drive Z:.
  std::string path = buildPath.rfind('/', 0) == 0 ? "Z:" + buildPath : buildPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return buildPath;
#endif
}

ProcessResult RunProcess(const std::string& program, const std::string& arguments, const std::string& folder) {
  TempDir capture;
  const std::string out = capture / "out.txt", err = capture / "err.txt";
#ifdef _WIN32
  // cmd /c strips the outer quotes of the whole line, so the line gets a pair of its own.
  const std::string line = "\"cd /d \"" + folder + "\" && \"" + program + "\" " + arguments + " > \"" + out +
                           "\" 2> \"" + err + "\"\"";
#else
  const std::string line = "cd '" + folder + "' && '" + program + "' " + arguments + " > '" + out + "' 2> '" + err + "'";
#endif
  const int status = std::system(line.c_str());
  ProcessResult result;
#ifdef _WIN32
  result.ExitCode = status;
#else
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  result.Out = ReadFileBytes(out);
  result.Err = ReadFileBytes(err);
  return result;
}

}  // namespace korvath::test
