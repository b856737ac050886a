// One run of the updater as a child process in a folder, its standard output read line by line
// as it comes, and ended from outside at a chosen moment.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace korvath::crash {

class ChildProcess {
 public:
  // Starts argv[0] with the arguments in folder, with these variables added to the environment;
  // standard error goes to errorFile.
  ChildProcess(const std::vector<std::string>& argv, const std::string& folder,
               const std::map<std::string, std::string>& env, const std::string& errorFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until Deadline or the end of the output. True when a new line came in (it is
  // the last of Lines()); false at the deadline or the end.
  bool WaitForLine(std::chrono::steady_clock::time_point deadline);
  // Reads output until the time has come; false when the program ended first.
  bool RunUntil(std::chrono::steady_clock::time_point when);
  // Waits for the end; the exit status, or -1 when ended by a signal or not within Limit.
  int Wait(std::chrono::seconds limit);
  bool Ended();
  void Kill(int signal);
  // Once ended: whether a signal ended it.
  bool EndedBySignal(int signal) const;

  const std::vector<std::string>& Lines() const { return FLines; }
  // When each line came in, after the start.
  const std::vector<double>& LineSeconds() const { return FLineSeconds; }

 private:
  // Reads what is there within the wait; false at the end of the output.
  bool Pump(int waitMilliseconds);

  pid_t FPid = -1;
  int FOut = -1;
  bool FOutEnded = false;
  bool FReaped = false;
  int FStatus = 0;
  std::string FPartial;
  std::vector<std::string> FLines;
  std::vector<double> FLineSeconds;
  std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
};

}  // namespace korvath::crash
