// POSIX shell services: std::filesystem for folder trees, posix_spawn for program starts.
#include "platform/Shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

extern char** environ;

namespace korvath::platform {

bool DeleteTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return !ec;
}

void StartHidden(const std::string& programPath) {
  // The path is the program itself, never a shell command line: blanks in it are just blanks.
  std::string argv0 = programPath;
  char* argv[] = {argv0.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, programPath.c_str(), nullptr, nullptr, argv, environ) != 0) return;
  // Collect the child when it ends, so that it leaves no zombie behind in a long-lived process.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

const char* FolderEndChars() {
  return "/";
}

}  // namespace korvath::platform
