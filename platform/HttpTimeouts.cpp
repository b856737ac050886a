// The time limits of every transfer, and the authorities tests trust, shared by both HTTP clients.
#include <atomic>
#include <mutex>
#include <string>

#include "platform/Http.h"

namespace korvath::platform {
namespace {

std::atomic<int> gConnectSeconds{kHttpConnectTimeoutSeconds};
std::atomic<int> gStallSeconds{kHttpStallTimeoutSeconds};
std::mutex gAuthoritiesLock;
std::string gAuthorities;

}  // namespace

HttpTimeouts CurrentHttpTimeouts() {
  return HttpTimeouts{gConnectSeconds.load(), gStallSeconds.load()};
}

void SetHttpTimeoutsForTests(HttpTimeouts timeouts) {
  gConnectSeconds = timeouts.ConnectSeconds;
  gStallSeconds = timeouts.StallSeconds;
}

void SetHttpCertificateAuthoritiesForTests(const std::string& pemFile) {
  const std::lock_guard lock(gAuthoritiesLock);
  gAuthorities = pemFile;
}

std::string HttpCertificateAuthorities() {
  const std::lock_guard lock(gAuthoritiesLock);
  return gAuthorities;
}

}  // namespace korvath::platform
