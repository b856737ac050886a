// A socket on 127.0.0.1 that takes connections into its queue and never answers, as a hung
// server does.
#pragma once

#include <cstdint>
#include <string>

namespace korvath::test {

class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

 private:
  uintptr_t FSocket;  // the system's socket (an int, or a Windows SOCKET)
  int FPort = 0;
};

}  // namespace korvath::test
