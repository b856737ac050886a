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
#ifdef _WIN32
  // Windows programs end their text lines with CR LF; the tests compare lines.
  for (std::string* text : {&result.Out, &result.Err}) {
    std::string lines;
    for (size_t i = 0; i < text->size(); ++i)
      if (!((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n')) lines += (*text)[i];
    *text = lines;
  }
#endif
  return result;
}

}  // namespace korvath::test
