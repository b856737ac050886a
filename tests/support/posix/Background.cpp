#include "tests/support/posix/Background.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace korvath::test {

using std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(10);

// Connects until something listens on the loopback port.
bool WaitForPort(int port) {
  for (auto end = steady_clock::now() + kStartTimeout; steady_clock::now() < end;) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected =
        connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(sock);
    if (connected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int FreePort() {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  close(sock);
  return ntohs(address.sin_port);
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& arguments,
                                     const std::string& outputFile) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0) FPid = -1;
  posix_spawn_file_actions_destroy(&actions);
}

BackgroundProcess::~BackgroundProcess() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  int status = 0;
  waitpid(FPid, &status, 0);
}

}  // namespace korvath::test
