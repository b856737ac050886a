#include "tests/crash/ThrottledServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <stdexcept>

namespace korvath::crash {
namespace {

constexpr size_t kChunk = 4096;
constexpr int kPollMilliseconds = 50;

// Sends all of it, or gives up when the client has gone (no SIGPIPE for a killed client).
bool SendAll(int sock, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(sock, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The request line's path without the leading "/", or empty when none came in time.
std::string ReadRequestPath(int sock, const std::atomic<bool>& stopping) {
  std::string head;
  char buffer[4096];
  for (int round = 0; head.find("\r\n\r\n") == std::string::npos; ++round) {
    if (stopping || round > 200 || head.size() > 65536) return "";
    pollfd p{sock, POLLIN, 0};
    if (::poll(&p, 1, kPollMilliseconds) <= 0) continue;
    const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    head.append(buffer, static_cast<size_t>(n));
  }
  const size_t start = head.find(' ');
  const size_t end = head.find(' ', start + 1);
  if (start == std::string::npos || end == std::string::npos || head[start + 1] != '/') return "";
  std::string path = head.substr(start + 2, end - start - 2);
  // Programs escape unusual bytes; the harness's names need only "%5C" for "\".
  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() &&
        std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
      decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += path[i];
    }
  }
  return decoded;
}

}  // namespace

ThrottledServer::ThrottledServer(int64_t bytesPerSecond) : FRate(bytesPerSecond) {
  FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (FListener < 0 ||
      ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FListener, 64) != 0 ||
      ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

ThrottledServer::~ThrottledServer() {
  FStopping = true;
  FAcceptThread.join();
  ::close(FListener);
  std::unique_lock lock(FLock);
  FAllDone.wait(lock, [this] { return FActive == 0; });
}

std::string ThrottledServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(FPort) + "/";
}

void ThrottledServer::Serve(const std::string& path, std::string body) {
  std::lock_guard lock(FLock);
  FBodies[path] = std::move(body);
}

void ThrottledServer::AcceptLoop() {
  while (!FStopping) {
    pollfd p{FListener, POLLIN, 0};
    if (::poll(&p, 1, kPollMilliseconds) <= 0) continue;
    const int client = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    {
      std::lock_guard lock(FLock);
      ++FActive;
    }
    std::thread([this, client] {
      Answer(client);
      std::lock_guard lock(FLock);
      if (--FActive == 0) FAllDone.notify_all();
    }).detach();
  }
}

void ThrottledServer::Answer(int client) {
  const std::string path = ReadRequestPath(client, FStopping);
  std::string body;
  bool found = false;
  {
    std::lock_guard lock(FLock);
    const auto it = FBodies.find(path);
    if (it != FBodies.end()) {
      body = it->second;
      found = true;
    }
  }
  if (!found) body = "<html><body>404 Not Found</body></html>";
  const std::string head = std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                           "\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\nConnection: close\r\n\r\n";
  bool alive = SendAll(client, head.data(), head.size());
  // Paced per chunk against the start, so that sleeping late never slows the whole body down.
  const auto start = std::chrono::steady_clock::now();
  for (size_t sent = 0; alive && sent < body.size() && !FStopping;) {
    const size_t n = std::min(kChunk, body.size() - sent);
    alive = SendAll(client, body.data() + sent, n);
    sent += n;
    std::this_thread::sleep_until(
        start + std::chrono::microseconds(static_cast<int64_t>(sent) * 1000000 / FRate));
  }
  ::shutdown(client, SHUT_WR);
  ::close(client);
}

}  // namespace korvath::crash
