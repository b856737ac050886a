#include "tests/support/SilentListener.h"

// GCC 12 with the sanitizers reports std::regex, which the server's header uses, as maybe
// uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>
// The server's header brings either system's socket functions.
#include <httplib.h>

namespace korvath::test {

SilentListener::SilentListener() {
  const socket_t listener = ::socket(AF_INET, SOCK_STREAM, 0);
  FSocket = static_cast<uintptr_t>(listener);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 8) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    ADD_FAILURE() << "cannot listen on 127.0.0.1";
  FPort = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
  httplib::detail::close_socket(static_cast<socket_t>(FSocket));
}

}  // namespace korvath::test
