// A loopback HTTP server for the crash harness: serves fixed bodies at a fixed byte rate, so that
// a run lasts long enough to be stopped anywhere, and shrugs off clients that vanish mid-body.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace korvath::crash {

class ThrottledServer {
 public:
  // BytesPerSecond applies to each connection on its own.
  explicit ThrottledServer(int64_t bytesPerSecond);
  ~ThrottledServer();
  ThrottledServer(const ThrottledServer&) = delete;
  ThrottledServer& operator=(const ThrottledServer&) = delete;

  // "http://127.0.0.1:<port>/"
  std::string BaseUrl() const;
  // Path relative to the base, "/" separators; unknown paths answer 404.
  void Serve(const std::string& path, std::string body);

 private:
  void AcceptLoop();
  void Answer(int client);

  int64_t FRate;
  int FListener = -1;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::mutex FLock;
  std::map<std::string, std::string> FBodies;
  // Connections run detached (a long harness run makes thousands); stopping waits for them.
  int FActive = 0;
  std::condition_variable FAllDone;
  std::thread FAcceptThread;
};

}  // namespace korvath::crash
