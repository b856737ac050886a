#include "tests/crash/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace korvath::crash {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& folder,
                           const std::map<std::string, std::string>& env,
                           const std::string& errorFile) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // Everything the child needs is made before the fork: only async-signal-safe calls follow it.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (env.count(entry.substr(0, entry.find('='))) == 0) envText.push_back(entry);
  }
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  FPid = ::fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (::chdir(folder.c_str()) != 0 || err < 0) ::_exit(126);
    ::dup2(pipeEnds[1], 1);
    ::dup2(err, 2);
    // A process group of its own: the harness can end everything the run started.
    ::setpgid(0, 0);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  FOut = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
  if (!FReaped) {
    ::kill(-FPid, SIGKILL);
    ::kill(FPid, SIGKILL);
    Wait(std::chrono::seconds(10));
  }
  ::close(FOut);
}

bool ChildProcess::Pump(int waitMilliseconds) {
  if (FOutEnded) {
    if (waitMilliseconds > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
    return false;
  }
  pollfd p{FOut, POLLIN, 0};
  if (::poll(&p, 1, waitMilliseconds) <= 0) return true;
  char buffer[4096];
  const ssize_t n = ::read(FOut, buffer, sizeof buffer);
  if (n <= 0) {
    FOutEnded = true;
    return false;
  }
  FPartial.append(buffer, static_cast<size_t>(n));
  return true;
}

bool ChildProcess::WaitForLine(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const size_t end = FPartial.find('\n');
    if (end != std::string::npos) {
      std::string line = FPartial.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      FLines.push_back(line);
      FLineSeconds.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count());
      FPartial.erase(0, end + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (!Pump(static_cast<int>(left.count())) && FOutEnded &&
        FPartial.find('\n') == std::string::npos)
      return false;
  }
}

bool ChildProcess::RunUntil(std::chrono::steady_clock::time_point when) {
  while (std::chrono::steady_clock::now() < when) {
    if (WaitForLine(when)) continue;
    if (FOutEnded) {
      // The output ends with the program; wait for the rest of the time only if it still runs.
      while (std::chrono::steady_clock::now() < when) {
        if (Ended()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  return !Ended();
}

bool ChildProcess::Ended() {
  if (FReaped) return true;
  int status = 0;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) {
    FReaped = true;
    FStatus = status;
  }
  return FReaped;
}

int ChildProcess::Wait(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!Ended()) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    while (WaitForLine(std::chrono::steady_clock::now() + std::chrono::milliseconds(5))) {
    }
  }
  while (WaitForLine(std::chrono::steady_clock::now())) {
  }
  return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
}

void ChildProcess::Kill(int signal) {
  ::kill(FPid, signal);
}

bool ChildProcess::EndedBySignal(int signal) const {
  return FReaped && WIFSIGNALED(FStatus) && WTERMSIG(FStatus) == signal;
}

}  // namespace korvath::crash
