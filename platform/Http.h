// The HTTP client the downloads use, behind one small interface: WinINet on Windows, libcurl
// elsewhere. Nothing else in the program sees either.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace korvath::platform {

// A transfer gives up when no connection to the server is made within this time, and a body
// that delivers no byte for this long ends as if it broke off (Read returns 0).
inline constexpr int kHttpConnectTimeoutSeconds = 30;
inline constexpr int kHttpStallTimeoutSeconds = 30;

// The limits in force: the constants above, unless a test shortened them.
struct HttpTimeouts {
  int ConnectSeconds = kHttpConnectTimeoutSeconds;
  int StallSeconds = kHttpStallTimeoutSeconds;
};
HttpTimeouts CurrentHttpTimeouts();
// For tests only: a stalled body can then be shown to end within seconds.
void SetHttpTimeoutsForTests(HttpTimeouts timeouts);

// The body of one response, read in order. Read returns 0 at its end, and also when the
// transfer breaks off or fails: the caller cannot tell these apart, and stores what arrived.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  virtual size_t Read(char* buffer, size_t count) = 0;
};

// One internet session (an InternetOpenA handle); each download opens and closes its own.
class HttpSession {
 public:
  virtual ~HttpSession() = default;
  // Null when the address cannot be opened (no network, no such host, no answer). Any answer
  // of the server counts as opened, whatever its status; redirects are followed as
  // MayFollowRedirect allows, and one it refuses leaves the address unopened.
  virtual std::unique_ptr<HttpResponse> OpenUrl(const std::string& url) = 0;
  // Drops the address from the system's shared internet cache (nothing where there is none).
  virtual void DeleteUrlCacheEntry(const std::string& url) = 0;
};

// The statuses whose Location both clients follow, at most kMaxRedirects times in a row: a
// longer chain, a redirect loop among them, is no answer.
inline constexpr int kMaxRedirects = 10;
bool IsRedirectStatus(long status);
// Whether a redirect from From to the absolute address To may be followed: only to a web
// address, and never from an encrypted one to a plain one, where anyone on the way could put
// other content under the server's name.
bool MayFollowRedirect(const std::string& from, const std::string& to);

// Opens a session with the given user agent, using the system's proxy configuration.
std::unique_ptr<HttpSession> OpenInternet(const std::string& agent);

}  // namespace korvath::platform
