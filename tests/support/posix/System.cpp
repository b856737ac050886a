#include "tests/support/System.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace korvath::test {

std::string WhyLargeDataIsSlow() {
  return {};
}
std::string WhyStallsAreNotCutOff() {
  return {};
}
std::string WhyNoLinksOrModes() {
  return {};
}
std::string WhyLinksCannotChangeOwner() {
  return ::geteuid() == 0 ? std::string() : "only root can give a link to another account";
}
void GiveLinkToAnotherAccount(const std::string& path) {
  constexpr uid_t kSomeoneElse = 4242;  // neither root nor anyone the tests run as
  if (::lchown(path.c_str(), kSomeoneElse, kSomeoneElse) != 0) ADD_FAILURE() << "lchown " << path;
}
std::string WhyNoViewsPast4GiB() {
  // scripts/i386-run names the emulator; run directly, the same 32-bit program maps them.
  return std::getenv("KORVATH_EMULATOR") != nullptr && sizeof(void*) == 4
             ? "qemu-user of Debian 12 cuts a 32-bit program's mapping offset to 32 bits"
             : "";
}

std::string AlwaysFullFile() {
  return "/dev/full";
}  // fails at the first write
bool OpenFilesCanBeExclusive() {
  return false;
}

std::string WriteMarkerScript(const std::string& path) {
  const std::string program = path + ".sh";
  WriteFileBytes(program, "#!/bin/sh\necho started > marker.txt\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  return program;
}

void SetEnv(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
  unsetenv(name.c_str());
}

void KeepLoopbackOffProxies() {
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* current = std::getenv(name);
    const std::string value =
        current != nullptr && *current != '\0' ? std::string(current) + ",127.0.0.1" : "127.0.0.1";
    setenv(name, value.c_str(), 1);
  }
}

int QuietSendFlags() {
  return MSG_NOSIGNAL;
}

std::string NativeProgramPath(const std::string& buildPath) {
  return buildPath;
}

std::string CaptureLine(const std::string& program, const std::string& arguments,
                        const std::string& folder, const std::string& out, const std::string& err) {
  return "cd '" + folder + "' && '" + program + "' " + arguments + " > '" + out + "' 2> '" + err +
         "'";
}

int ExitCodeOf(int systemStatus) {
  return WIFEXITED(systemStatus) ? WEXITSTATUS(systemStatus) : -1;
}

std::string AsLines(const std::string& output) {
  return output;
}

}  // namespace korvath::test
