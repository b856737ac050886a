// Sets an environment variable for the life of the object and puts the old value back
// afterwards; tests use it to point the program at their own files and servers.
#pragma once

#include <optional>
#include <string>

#include "tests/support/System.h"  // SetEnv, UnsetEnv

namespace korvath::test {

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

}  // namespace korvath::test
