// Servers of Debian's started by tests on loopback (nginx, a caching proxy): a process in the
// background, a free port for it, and a wait until it listens.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace korvath::test {

// Connects until something listens on the loopback port, for a few seconds at most.
bool WaitForPort(int port);
// A loopback port nothing listens on now.
int FreePort();

// A server started in the background with its output in a file; ended by SIGTERM, and waited
// for, when the object goes.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& arguments, const std::string& outputFile);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  bool Started() const { return FPid > 0; }

 private:
  pid_t FPid = -1;
};

}  // namespace korvath::test
