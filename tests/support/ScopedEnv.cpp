#include "tests/support/ScopedEnv.h"

#include <cstdlib>

namespace korvath::test {

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");  // an empty value removes the variable there
#else
  unsetenv(name.c_str());
#endif
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : FName(std::move(name)) {
  if (const char* old = std::getenv(FName.c_str())) FOld = old;
  SetEnv(FName, value);
}

ScopedEnv::~ScopedEnv() {
  if (FOld)
    SetEnv(FName, *FOld);
  else
    UnsetEnv(FName);
}

}  // namespace korvath::test
