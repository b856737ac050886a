// The time limits of every transfer, shared by both HTTP clients.
#include <atomic>

#include "platform/Http.h"

namespace korvath::platform {
namespace {

std::atomic<int> gConnectSeconds{kHttpConnectTimeoutSeconds};
std::atomic<int> gStallSeconds{kHttpStallTimeoutSeconds};

}  // namespace

HttpTimeouts CurrentHttpTimeouts() {
  return HttpTimeouts{gConnectSeconds.load(), gStallSeconds.load()};
}

void SetHttpTimeoutsForTests(HttpTimeouts timeouts) {
  gConnectSeconds = timeouts.ConnectSeconds;
  gStallSeconds = timeouts.StallSeconds;
}

}  // namespace korvath::platform
