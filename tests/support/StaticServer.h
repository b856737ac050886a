// A plain HTTP/1.1 server on loopback serving bodies from memory, as a static server or a CDN
// does: connections kept alive as configured and counted, and a Last-Modified well in the past
// on every answer, which lets a caching proxy keep answers for a day or more by heuristic.
#pragma once

#include <atomic>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace korvath::test {

class StaticServer {
 public:
  explicit StaticServer(size_t answersPerConnection = 100, time_t idleSeconds = 5);
  ~StaticServer();
  StaticServer(const StaticServer&) = delete;
  StaticServer& operator=(const StaticServer&) = delete;

  // "http://<host>:<port>/"; a proxy is asked for a host name the client does not keep off
  // proxies (127.0.0.1 it does).
  std::string BaseUrl(const std::string& host = "127.0.0.1") const;
  // Publishes the release: every file's bzip2 copy and the list of them at revision Rev, with
  // the files critical.
  void Release(int rev, const std::map<std::string, std::string>& files);
  int Connections() const { return FConnections; }

 private:
  std::unique_ptr<httplib::Server> FServer;
  std::mutex FLock;
  std::map<std::string, std::string> FBodies;
  std::atomic<int> FConnections{0};
  int FPort = 0;
  std::thread FThread;
};

}  // namespace korvath::test
