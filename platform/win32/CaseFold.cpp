// Windows file names already ignore letter case, so the list's spelling is used as written.
#include "platform/CaseFold.h"

namespace korvath::platform {

std::string ResolveCaseInsensitive(const std::string&, const std::string& name) {
  return name;
}

bool ExistsAsWritten(const std::string&) {
  return true;
}

}  // namespace korvath::platform
