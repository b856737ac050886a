// What the system the tests run on offers and what it does not, so that one test body serves
// every system: a test asks for a capability, or skips itself with the reason given here. The
// answers come from tests/support/posix or tests/support/win32, picked by CMake.
#pragma once

#include <string>

namespace korvath::test {

// Each Why... is empty when the system can, otherwise the reason a test of it skips.
// Hundreds of MiB written, lists of 64 MiB read: seconds natively, minutes under Wine.
std::string WhyLargeDataIsSlow();
// A receive time-out of the HTTP client ends a stalled body.
std::string WhyStallsAreNotCutOff();
// Symbolic links and POSIX file modes can be made and read back.
std::string WhyNoLinksOrModes();
// A link can be given to another account (lchown, which only root may do).
std::string WhyLinksCannotChangeOwner();
// Gives the link of that name (not what it leads to) to an account that is not this one.
void GiveLinkToAnotherAccount(const std::string& path);
// A file can be mapped from an offset past 4 GiB.
std::string WhyNoViewsPast4GiB();

// A file that takes no byte written to it, as a full disk does; empty when there is none.
std::string AlwaysFullFile();
// Whether an open file can keep others from reading it (Windows' share modes).
bool OpenFilesCanBeExclusive();
// Writes a script, Path plus the system's script extension, that writes "started" into
// marker.txt of the folder it runs in; returns the script's path.
std::string WriteMarkerScript(const std::string& path);

// Environment variables, for this process and the programs it starts.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Both HTTP clients honour the proxy of the environment (http_proxy and the like); requests to
// the loopback server must reach it directly all the same.
void KeepLoopbackOffProxies();
// Flags for sending on a socket whose peer may have gone: that must not end the tests.
int QuietSendFlags();

// Running the project's programs: a path the build gives (a Linux path) as the system sees it,
// the shell line that runs one with its output captured, its exit code from std::system, and
// its output as the tests compare lines.
std::string NativeProgramPath(const std::string& buildPath);
std::string CaptureLine(const std::string& program, const std::string& arguments,
                        const std::string& folder, const std::string& out, const std::string& err);
int ExitCodeOf(int systemStatus);
std::string AsLines(const std::string& output);

}  // namespace korvath::test
