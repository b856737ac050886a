#include "engine/Addresses.h"

#include <cstdlib>

#if !defined(KORVATH_UPDATE_SERVER) || !defined(KORVATH_NEWS_URL)
#error "KORVATH_UPDATE_SERVER and KORVATH_NEWS_URL must be defined by the build"
#endif

namespace korvath {
namespace {

std::string FromEnvironment(const char* name, const char* builtIn) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : builtIn;
}

}  // namespace

std::string DefaultUpdateServer() {
  return FromEnvironment("KORVATH_UPDATE_SERVER", KORVATH_UPDATE_SERVER);
}

std::string NewsPageAddress() {
  return FromEnvironment("KORVATH_NEWS_URL", KORVATH_NEWS_URL);
}

}  // namespace korvath
