#include "tests/support/System.h"

#include <windows.h>

#include <cstdlib>

#include "tests/support/TempDir.h"

namespace korvath::test {

std::string WhyLargeDataIsSlow() {
  return "hundreds of MiB take minutes under Wine, where the same code runs as natively";
}
std::string WhyStallsAreNotCutOff() {
  return "Wine's internet functions ignore the receive time-out";
}
std::string WhyNoLinksOrModes() {
  return "symbolic links need a privilege on Windows, and its files have no POSIX mode";
}
std::string WhyLinksCannotChangeOwner() {
  return "giving a link to another account needs a privilege on Windows";
}
void GiveLinkToAnotherAccount(const std::string&) {}
std::string WhyNoViewsPast4GiB() {
  return {};
}

std::string AlwaysFullFile() {
  return {};
}
bool OpenFilesCanBeExclusive() {
  return true;
}

std::string WriteMarkerScript(const std::string& path) {
  const std::string program = path + ".bat";
  WriteFileBytes(program, "@echo started>marker.txt\r\n");
  return program;
}

void SetEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  _putenv_s(name.c_str(), "");  // an empty value removes the variable there
}

void KeepLoopbackOffProxies() {
  // One case-blind name here. Wine's WinINet takes the bypass list from it, items separated by
  // ";", through a C run-time of its own whose copy of the environment dates from its loading.
  const char* current = std::getenv("no_proxy");
  const std::string value =
      current != nullptr && *current != '\0' ? std::string(current) + ";127.0.0.1" : "127.0.0.1";
  _putenv_s("no_proxy", value.c_str());
  if (const HMODULE crt = GetModuleHandleA("ucrtbase.dll"))
    if (const FARPROC put = GetProcAddress(crt, "_putenv_s"))
      reinterpret_cast<int (*)(const char*, const char*)>(reinterpret_cast<void*>(put))(
          "no_proxy", value.c_str());
}

int QuietSendFlags() {
  return 0;
}

std::string NativeProgramPath(const std::string& buildPath) {
  // Wine shows the Linux file system as drive Z:.
  std::string path = buildPath.rfind('/', 0) == 0 ? "Z:" + buildPath : buildPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string CaptureLine(const std::string& program, const std::string& arguments,
                        const std::string& folder, const std::string& out, const std::string& err) {
  // cmd /c strips the outer quotes of the whole line, so the line gets a pair of its own.
  return "\"cd /d \"" + folder + "\" && \"" + program + "\" " + arguments + " > \"" + out +
         "\" 2> \"" + err + "\"\"";
}

int ExitCodeOf(int systemStatus) {
  return systemStatus;
}

std::string AsLines(const std::string& output) {
  // Windows programs end their text lines with CR LF; the tests compare lines.
  std::string lines;
  for (size_t i = 0; i < output.size(); ++i)
    if (!(output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n')) lines += output[i];
  return lines;
}

}  // namespace korvath::test
