// The one rule both HTTP clients follow redirects by.
#include "platform/Ascii.h"
#include "platform/Http.h"

namespace korvath::platform {

bool IsRedirectStatus(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool MayFollowRedirect(const std::string& from, const std::string& to) {
  if (StartsWithText(to, "https://")) return true;
  return StartsWithText(to, "http://") && !StartsWithText(from, "https://");
}

}  // namespace korvath::platform
