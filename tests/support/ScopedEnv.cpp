#include "tests/support/ScopedEnv.h"

#include <cstdlib>

#include "tests/support/System.h"

namespace korvath::test {

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
